#include "src/gl/GraphDisplayHandler.h"

#include "host/gui/GlSliceView.h"
#include "host/gui/GlVolumeView.h"
#include "host/gui/View.h"
#include "src/gl/GlGraph.h"
#include "src/graph/Graph.h"
#include "src/gui/GlGraphDisplayOptionsWidget.h"

namespace Quorvale
{
	GraphDisplayHandler::GraphDisplayHandler() = default;

	GraphDisplayHandler::~GraphDisplayHandler()
	{
		for (auto& [data, entry] : m_entries)
			for (GUI::View* view : entry.views)
				view->glView()->removeObject(entry.object.get());
	}

	bool GraphDisplayHandler::canHandle(const Data* data) const { return dynamic_cast<const Graph*>(data) != nullptr; }

	bool GraphDisplayHandler::canShowIn(const Data* data, const GUI::View* view) const
	{
		const auto* graph = dynamic_cast<const Graph*>(data);
		if (!graph || !view)
			return false;
		const bool planar = graph->dimension() == Graph::Dimension::TwoD;
		if (const auto* slice = dynamic_cast<const GlSliceView*>(view->glView()))
			return planar == !slice->slice().showsVolume();
		if (dynamic_cast<const GlVolumeView*>(view->glView()))
			return !planar;
		return false;
	}

	void GraphDisplayHandler::show(Data* data, GUI::View* view)
	{
		if (!canHandle(data) || !view)
			return;
		Entry& entry = m_entries[data];
		if (!entry.object)
		{
			entry.object = std::make_unique<GlGraph>(static_cast<const Graph*>(data));
			entry.object->setVisible(true);
			data->signalDeleted.connect(&m_receiver, [this](Data* gone) { erase(gone); });
		}
		entry.views.insert(view);
		view->glView()->addObject(entry.object.get());
	}

	void GraphDisplayHandler::hide(Data* data, GUI::View* view)
	{
		if (!canHandle(data) || !view)
			return;
		auto it = m_entries.find(data);
		if (it == m_entries.end())
			return;
		view->glView()->removeObject(it->second.object.get());
		it->second.views.erase(view);
		if (it->second.views.empty())
			erase(data);
	}

	void GraphDisplayHandler::erase(const Data* data)
	{
		auto it = m_entries.find(data);
		if (it == m_entries.end())
			return;
		for (GUI::View* view : it->second.views)
			view->glView()->removeObject(it->second.object.get());
		const_cast<Data*>(data)->signalDeleted.disconnect(&m_receiver);
		m_entries.erase(it);
	}

	void GraphDisplayHandler::viewRemoved(GUI::View* view)
	{
		for (auto& [data, entry] : m_entries)
			entry.views.erase(view);
	}

	std::unique_ptr<QWidget> GraphDisplayHandler::createOptionsWidget(Data* data, GUI::UpdateHook* update, void* context)
	{
		if (!m_entries.count(data))
			return nullptr;
		auto* graph = dynamic_cast<Graph*>(data);
		if (!graph)
			return nullptr;
		return std::make_unique<GlGraphDisplayOptionsWidget>(graph, update, context);
	}

	GlGraph* GraphDisplayHandler::glGraph(const Data* data) const
	{
		auto it = m_entries.find(data);
		return it == m_entries.end() ? nullptr : it->second.object.get();
	}

	std::set<GUI::View*> GraphDisplayHandler::viewsOf(const Data* data) const
	{
		auto it = m_entries.find(data);
		return it == m_entries.end() ? std::set<GUI::View*>() : it->second.views;
	}
}
