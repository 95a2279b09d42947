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

	GraphDisplayHandler::~GraphDisplayHandler() = default;

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

	std::unique_ptr<GlObject> GraphDisplayHandler::createObject(Data& data) const
	{
		auto object = std::make_unique<GlGraph>(static_cast<const Graph*>(&data));
		object->setVisible(true);
		return object;
	}

	std::unique_ptr<QWidget> GraphDisplayHandler::createOptionsWidget(Data* data, GUI::UpdateHook* update, void* context)
	{
		if (!object(data))
			return nullptr;
		auto* graph = dynamic_cast<Graph*>(data);
		if (!graph)
			return nullptr;
		return std::make_unique<GlGraphDisplayOptionsWidget>(graph, update, context);
	}

	GlGraph* GraphDisplayHandler::glGraph(const Data* data) const { return static_cast<GlGraph*>(object(data)); }
}
