#include "src/gui/DrawGraphController.h"

#include "host/gui/DisplayWidgetMulti.h"
#include "host/gui/GlView.h"
#include "host/gui/View.h"
#include "src/graph/Graph.h"
#include "src/gui/DeleteNodesInteraction.h"
#include "src/gui/DrawGraphAlgorithm.h"
#include "src/gui/DrawGraphInteraction.h"
#include "src/gui/MoveNodeInteraction.h"
#include "src/gui/MoveNodesInteraction.h"
#include "src/gui/RadiusCircle.h"

#include <QLabel>
#include <QVBoxLayout>

namespace Quorvale
{
	DrawGraphController::DrawGraphController(DrawGraphAlgorithm* algorithm, QWidget* parent)
	    : DefaultAlgorithmController(algorithm, std::string(), false, false, parent)
	    , m_algorithm(algorithm)
	{
	}

	DrawGraphController::~DrawGraphController() { removeManipulator(); }

	void DrawGraphController::init()
	{
		if (m_algorithm && m_algorithm->edittedGraph())
		{
			m_graph = m_algorithm->edittedGraph();
			addManipulator();
		}
		else
		{
			DefaultAlgorithmController::init();
			m_dimensionNote = new QLabel(tr("2D graphs are shown only over planar images; 3D draws over this volume."), this);
			m_dimensionNote->setWordWrap(true);
			if (auto* column = qobject_cast<QVBoxLayout*>(layout()))
				column->insertWidget(1, m_dimensionNote);
			if (m_algorithm)
				m_algorithm->dimensions.signalValueChanged.connect(&m_dimensionReceiver, [this] { updateDimensionNote(); });
			updateDimensionNote();
		}
	}

	void DrawGraphController::updateDimensionNote()
	{
		// Slice views of a volume show 3-D graphs only (see the display handler).
		const DisplayWidgetMulti* display = displayWidget();
		const bool overVolume = display && display->view2D(0)->glView()->kind() == GlView::VolumeSlice;
		m_dimensionNote->setVisible(overVolume && m_algorithm && m_algorithm->dimensions.value() == Graph::Dimension::TwoD);
	}

	void DrawGraphController::onCompute()
	{
		DefaultAlgorithmController::onCompute();
		// After a failure the user may try again.
		if (algorithm() && algorithm()->status() == Algorithm::Success)
			hideComputeButton(true);
	}

	OwningDataList DrawGraphController::postprocessOutput(OwningDataList output)
	{
		std::unique_ptr<Graph> graph = output.extractFirst<Graph>();
		if (!graph)
			return output;
		m_graph = graph.get();
		addManipulator();
		// The host may run the algorithm apart from the panel: the graph's arrival is its success.
		hideComputeButton(true);
		if (auto draw = interaction("Draw"))
			draw->setState(GraphManipulator::Interaction::Active);
		OwningDataList kept;
		kept.add(std::move(graph));
		return kept;
	}

	std::shared_ptr<GraphManipulator::Interaction> DrawGraphController::interaction(const std::string& key) const
	{
		const auto it = m_interactions.find(key);
		return it == m_interactions.end() ? nullptr : it->second;
	}

	void DrawGraphController::addManipulator()
	{
		Graph* graph = m_graph;
		removeManipulator();
		m_graph = graph;
		if (!m_graph)
			return;
		DisplayWidgetMulti* display = displayWidget();
		auto manipulator = std::make_unique<GraphManipulator>(*m_graph);
		m_interactive = std::make_unique<Interactive<GlGraph, GraphManipulator>>(nullptr, std::move(manipulator), true);
		// One circle for both radius interactions: the circle the user sizes is the one Delete empties.
		auto circle = std::make_shared<RadiusCircle>(display);
		// Offered in this order: with a node under the cursor a left press moves that node alone.
		const std::pair<const char*, std::shared_ptr<GraphManipulator::Interaction>> interactions[] = {
		    {"Draw", std::make_shared<DrawGraphInteraction>(display)},
		    {"Move Single", std::make_shared<MoveNodeInteraction>(display)},
		    {"Move Multiple", std::make_shared<MoveNodesInteraction>(circle)},
		    {"Delete Multiple", std::make_shared<DeleteNodesInteraction>(circle)},
		};
		for (const auto& [key, interaction] : interactions)
		{
			m_interactions[key] = interaction;
			m_interactive->manipulator()->addInteraction(interaction);
		}
		if (display)
		{
			if (m_graph->dimension() == Graph::Dimension::TwoD)
				display->addObject(m_interactive.get(), display->view2D(0));
			else
				display->addObject(m_interactive.get(), display->viewGroup(0));
		}
		m_graph->signalDeleted.connect(&m_receiver, [this](Data*) { removeManipulator(true); });
	}

	void DrawGraphController::removeManipulator(bool graphDeleted)
	{
		m_receiver.disconnectAll();
		if (m_interactive)
		{
			// The storage of a graph whose deletion is announced is gone already: nothing may touch it.
			if (graphDeleted)
				for (const auto& entry : m_interactions)
					entry.second->setGraph(nullptr);
			else
				m_interactive->manipulator()->finishEditing();
		}
		if (DisplayWidgetMulti* display = displayWidget(); display && m_interactive)
		{
			display->removeObject(m_interactive.get(), display->view2D(0));
			display->removeObject(m_interactive.get(), display->viewGroup(0));
		}
		m_interactive.reset();
		m_interactions.clear();
		m_graph = nullptr;
	}
}
