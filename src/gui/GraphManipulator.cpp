#include "src/gui/GraphManipulator.h"

#include <Eigen/Geometry>

#include "host/core/Log.h"
#include "host/gui/GlView.h"
#include "src/graph/Graph.h"

#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <exception>
#include <utility>

namespace Quorvale
{
	GraphManipulator::Interaction::~Interaction() = default;

	void GraphManipulator::Interaction::finish()
	{
		if (m_state == Active)
			m_state = Armed;
	}

	bool GraphManipulator::Interaction::isMouseEvent(const QEvent* event) { return dynamic_cast<const QMouseEvent*>(event) != nullptr; }

	Eigen::Vector2d GraphManipulator::Interaction::position(const QEvent* event)
	{
		if (const auto* mouse = dynamic_cast<const QMouseEvent*>(event))
			return {mouse->localPos().x(), mouse->localPos().y()};
		if (const auto* wheel = dynamic_cast<const QWheelEvent*>(event))
			return {wheel->position().x(), wheel->position().y()};
		return Eigen::Vector2d::Zero();
	}

	Eigen::Vector3d GraphManipulator::Interaction::cursorPoint(const GlView& view, const Eigen::Vector2d& position)
	{
		return view.viewState().unproject(Eigen::Vector3d(position.x(), position.y(), 0.5));
	}

	Geometry::Line GraphManipulator::Interaction::pickRay(const GlView& view, const Eigen::Vector2d& position)
	{
		// Through the near and far planes: right for orthographic slice views, where there is no eye
		// point, as for the perspective 3-D view.
		const GL::ViewState& state = view.viewState();
		return Geometry::Line::throughPoints(state.unproject(Eigen::Vector3d(position.x(), position.y(), 0.0)),
		                                     state.unproject(Eigen::Vector3d(position.x(), position.y(), 1.0)));
	}

	Eigen::Vector3d GraphManipulator::Interaction::toWorld(const Eigen::Vector3d& local) const
	{
		return (m_graph->matrixToWorld() * local.homogeneous()).head<3>();
	}

	Eigen::Vector3d GraphManipulator::Interaction::toLocal(const Eigen::Vector3d& world) const
	{
		return (m_graph->matrixFromWorld() * world.homogeneous()).head<3>();
	}

	GraphManipulator::GraphManipulator(Graph& graph)
	    : m_graph(&graph)
	{
		follow();
	}

	GraphManipulator::GraphManipulator(const GraphManipulator& other)
	    : Manipulator(other)
	    , m_graph(other.m_graph)
	    , m_interactions(other.m_interactions)
	{
		follow();
	}

	GraphManipulator::~GraphManipulator()
	{
		// Interactions shared with a copy stay as they are.
		if (m_graph)
			for (const auto& interaction : m_interactions)
				if (interaction.use_count() == 1)
					interaction->finish();
	}

	void GraphManipulator::follow()
	{
		if (!m_graph)
			return;
		// The graph's storage is gone when its deletion is announced: forget it without touching it.
		m_graph->signalDeleted.connect(&m_receiver,
		                               [this](Data*)
		                               {
			                               m_graph = nullptr;
			                               for (const auto& interaction : m_interactions)
			                               {
				                               interaction->setGraph(nullptr);
				                               if (interaction->state() == Interaction::Active)
					                               interaction->setState(Interaction::Armed);
			                               }
		                               });
	}

	void GraphManipulator::addInteraction(std::shared_ptr<Interaction> interaction)
	{
		if (!interaction)
			return;
		interaction->setGraph(m_graph);
		if (std::find(m_interactions.begin(), m_interactions.end(), interaction) == m_interactions.end())
			m_interactions.push_back(std::move(interaction));
	}

	bool GraphManipulator::sceneEvent(QEvent* event, const GlView& view)
	{
		if (!m_graph)
			return false;
		const bool consumed = dispatch(event, view);
		announceEdits();
		return consumed;
	}

	bool GraphManipulator::dispatch(QEvent* event, const GlView& view)
	{
		try
		{
			bool anyActive = false;
			for (const auto& interaction : m_interactions)
				if (interaction->state() == Interaction::Active)
				{
					anyActive = true;
					interaction->handleEvent(event, view);
				}
			if (anyActive)
			{
				for (const auto& interaction : m_interactions)
					if (interaction->state() != Interaction::Active)
						interaction->hideOverlay();
				return true;
			}
			for (const auto& interaction : m_interactions)
				if (interaction->state() == Interaction::Armed && interaction->handleEvent(event, view))
					return true;
			return false;
		}
		catch (const std::exception& e)
		{
			Log::error(std::string("Editing the graph failed: ") + e.what());
			return true;
		}
	}

	void GraphManipulator::finishEditing()
	{
		if (!m_graph)
			return;
		for (const auto& interaction : m_interactions)
			interaction->finish();
		announceEdits();
	}

	void GraphManipulator::announceEdits()
	{
		bool edited = false;
		for (const auto& interaction : m_interactions)
			edited = std::exchange(interaction->m_edited, false) || edited;
		if (!edited || !m_graph)
			return;
		for (const auto& interaction : m_interactions)
			interaction->graphEdited();
		// A drawing chain ends on outside changes of its graph, not on its own.
		struct Announcing
		{
			const std::vector<std::shared_ptr<Interaction>>& interactions;
			explicit Announcing(const std::vector<std::shared_ptr<Interaction>>& i) : interactions(i) { set(true); }
			~Announcing() { set(false); }
			void set(bool on) const
			{
				for (const auto& interaction : interactions)
					interaction->m_announcingEdit = on;
			}
		} announcing(m_interactions);
		m_graph->signalDataChanged.emitSignal();
	}
}
