#pragma once

#include "host/core/Properties.h"
#include "host/core/Signal.h"

#include <QTabWidget>

namespace Quorvale
{
	class Graph;
	class PropertiesWidget;

	namespace GUI
	{
		class UpdateHook;
	}

	/// Editor of a graph's display options: a "General" page and a "Feature Circles" page, kept in step
	/// with the graph's `GlGraph::DisplayOptions` both ways. Offers the graph's edge features as choices
	/// for the circles' feature. The graph must outlive the widget.
	class GlGraphDisplayOptionsWidget : public QTabWidget, public SignalReceiver
	{
		Q_OBJECT

	public:
		/// `update` (may be null) is asked to repaint after every change of the options; `context` is not read.
		GlGraphDisplayOptionsWidget(Graph* graph, GUI::UpdateHook* update, void* context);
		~GlGraphDisplayOptionsWidget() override;

		PropertiesWidget* generalPage() const { return m_general; }
		PropertiesWidget* featureCirclePage() const { return m_featureCircles; }

	private:
		/// Re-reads the options and shows them on both pages (or only the feature-circle page).
		void reload(bool featureCirclesOnly);
		void updateUnitSuffixVisibility();
		/// Writes a page's values back into the options group of that name.
		void writeBack(PropertiesWidget* page, const char* group);

		PropertiesWidget* m_general;
		PropertiesWidget* m_featureCircles;
		Properties m_scratch;
		Graph* m_graph;
		GUI::UpdateHook* m_update;
	};
}
