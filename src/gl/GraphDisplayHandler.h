#pragma once

#include "host/gui/ObjectDisplayHandler.h"

namespace Quorvale
{
	class GlGraph;

	/// Shows graphs in the host's views: one `GlGraph` per shown graph, added to each view that shows it
	/// and destroyed when the last such view lets it go, when the graph is deleted, or with the handler
	/// (the host's `ObjectDisplayHandler` keeps that map). Planar graphs appear in slice views of planar
	/// images, 3-D graphs in slice views of volumes and in the 3-D view. Offers
	/// `GlGraphDisplayOptionsWidget` as the options editor. Registered as "Quorvale.GraphDisplayHandler".
	class GraphDisplayHandler : public ObjectDisplayHandler
	{
	public:
		GraphDisplayHandler();
		~GraphDisplayHandler() override;

		bool canHandle(const Data* data) const override;
		bool canShowIn(const Data* data, const GUI::View* view) const override;
		std::unique_ptr<QWidget> createOptionsWidget(Data* data, GUI::UpdateHook* update, void* context) override;

		/// The renderer of a shown graph, or null.
		GlGraph* glGraph(const Data* data) const;

	protected:
		/// A visible `GlGraph` of the graph.
		std::unique_ptr<GlObject> createObject(Data& data) const override;
	};
}
