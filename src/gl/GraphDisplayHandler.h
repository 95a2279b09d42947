#pragma once

#include "host/core/Signal.h"
#include "host/gui/DataDisplayHandler.h"

#include <map>
#include <memory>
#include <set>

namespace Quorvale
{
	class GlGraph;

	/// Shows graphs in the host's views: one `GlGraph` per shown graph, added to each view that shows it
	/// and destroyed when the last such view lets it go, when the graph is deleted, or with the handler. Planar graphs appear in
	/// slice views of planar images, 3-D graphs in slice views of volumes and in the 3-D view. Offers
	/// `GlGraphDisplayOptionsWidget` as the options editor. Registered as "Quorvale.GraphDisplayHandler".
	class GraphDisplayHandler : public DataDisplayHandler
	{
	public:
		GraphDisplayHandler();
		/// Removes every object from the views still showing it, then destroys it.
		~GraphDisplayHandler() override;

		bool canHandle(const Data* data) const override;
		bool canShowIn(const Data* data, const GUI::View* view) const override;
		void show(Data* data, GUI::View* view) override;
		void hide(Data* data, GUI::View* view) override;
		void viewRemoved(GUI::View* view) override;
		std::unique_ptr<QWidget> createOptionsWidget(Data* data, GUI::UpdateHook* update, void* context) override;

		/// The renderer of a shown graph, or null.
		GlGraph* glGraph(const Data* data) const;
		/// The views showing the data.
		std::set<GUI::View*> viewsOf(const Data* data) const;

	private:
		struct Entry
		{
			std::set<GUI::View*> views;
			std::unique_ptr<GlGraph> object;
		};

		/// Removes the data's object from its views and forgets the entry.
		void erase(const Data* data);

		std::map<const Data*, Entry> m_entries;
		SignalReceiver m_receiver; ///< forgets a graph when it is deleted, so its address is never found again
	};
}
