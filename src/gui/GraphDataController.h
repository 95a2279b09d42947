#pragma once

#include "host/core/Signal.h"
#include "host/gui/DataController.h"
#include "host/lib/DataComponentBase.h"
#include "host/lib/GlColormap.h"
#include "host/lib/TypedImage.h"

#include <Eigen/Core>

#include <memory>
#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QPushButton;
class QToolButton;

namespace Quorvale
{
	class GlView;
	class Graph;

	namespace GUI
	{
		class ColorBarOverlay;
	}

	/// Data panel of selected graphs: colours their lines by an edge or node feature with a colour map,
	/// shows a legend in the first 3-D view and sets the value range automatically or by hand. The choice
	/// is written into each graph's display options; the colour table and the legend are components of
	/// the graph. A range set by hand stays through the legend button and colour-map changes until the
	/// feature changes or Rescale is pressed. The feature list follows changes of the graphs
	/// (`signalDataChanged`).
	class GraphDataController : public DataController
	{
		Q_OBJECT

	public:
		/// The value-to-colour table that the renderer colours lines with; kept on the graph.
		class FeatureColorMapper : public TemporaryDataComponent<FeatureColorMapper>
		{
		public:
			FeatureColorMapper();
			~FeatureColorMapper() override;
			std::string id() const override { return "GraphDataController::FeatureColorMapper"; }

			/// Builds a table of `count` entries of the preset for values in [min, max]; an inverted
			/// range is taken in ascending order.
			void setColormap(GlColormap::Preset preset, int count, double min, double max);
			/// The table entry of a value: values outside the range take the end colours, a range of
			/// one value maps everything to the first entry, NaN gives grey (0.5, 0.5, 0.5, 1); without
			/// a table (1, 0, 1, 1).
			Eigen::Vector4f colorFor(double value) const;

			double min() const { return m_min; }
			double max() const { return m_max; }
			int count() const { return m_count; }
			/// True when the user set the range by hand: it stays until the feature changes or the range
			/// is taken from the data again. `setColormap` leaves this as it is.
			bool isRangeSetByHand() const { return m_setByHand; }
			void setRangeSetByHand(bool byHand) { m_setByHand = byHand; }
			/// count() RGBA entries, or null before `setColormap`.
			const float* table() const { return m_table; }

		private:
			std::unique_ptr<TypedImage<float>> m_image;
			const float* m_table = nullptr;
			double m_min = 0.0;
			double m_max = 1.0;
			int m_count = 256;
			bool m_setByHand = false;
		};

		/// The legend of a graph's colour map: a colour bar in a view, which owns it. Follows the view:
		/// once the view is gone the legend holds no overlay.
		class FeatureLegend : public TemporaryDataComponent<FeatureLegend>
		{
		public:
			FeatureLegend() = default;
			/// Takes the overlay out of its view.
			~FeatureLegend() override;
			std::string id() const override { return "GraphDataController::FeatureLegend"; }

			/// The graph's legend, created (hidden) in `view` when the graph has none or its view is gone.
			/// With a null view the legend has no overlay and shows nothing.
			static FeatureLegend* getOrCreate(Graph& graph, GlView* view);

			/// Labels at the range's ends and thirds ("{:.3g}"); none for a range without values (an end that
			/// is not finite or is the largest double).
			void setRange(double min, double max);
			void setVisible(bool visible);
			bool isVisible() const;
			GUI::ColorBarOverlay* overlay() const { return m_overlay; }

		private:
			void attach(GUI::ColorBarOverlay* overlay, GlView* view);

			GUI::ColorBarOverlay* m_overlay = nullptr; ///< null once its view is gone
			GlView* m_view = nullptr;
			SignalReceiver m_receiver;
		};

		/// True when the list holds at least one graph and nothing else; then, when `out` is given, a new
		/// panel for the graphs.
		static bool createCompatible(const DataList& data, DataController** out);

		explicit GraphDataController(std::vector<Graph*> graphs);
		~GraphDataController() override;

		void init() override;
		/// Takes the graphs of the selection; for one graph the combos show its feature and colour map,
		/// and the legend button whether its legend was up.
		void onSelectedDataChanged(const DataList& selected) override;
		void onVisibleDataChanged(const DataList& visible) override;

		/// Smallest and largest value of the named edge (kind 0) or node (kind 1) feature; (largest
		/// double, lowest double) when there is none.
		static std::pair<double, double> featureRange(const Graph& graph, const std::string& name, int kind);
		/// Shows the legend titled with the feature's words and sets the graph's colour table for the
		/// range; the legend is labelled with the table's range (ascending, as its colours run).
		static void applyFeatureRange(FeatureLegend* legend, Graph& graph, const std::string& name, GlColormap::Preset preset,
		                              double min, double max);
		/// The graph's colour table; a new one takes the graph's colour-map preset and the range of the
		/// feature its options colour by (else [0, 1]).
		static FeatureColorMapper& colorMapper(Graph& graph);

		const std::vector<Graph*>& graphs() const { return m_graphs; }
		QComboBox* featureCombo() const { return m_featureCombo; }
		QComboBox* colormapCombo() const { return m_colormapCombo; }
		QToolButton* legendButton() const { return m_legendButton; }
		QPushButton* setRangeButton() const { return m_setRangeButton; }
		QPushButton* rescaleButton() const { return m_rescaleButton; }

		void updateColorPresets();
		void updateFeatureNames();
		/// Applies the range to every graph that is coloured by a feature.
		void updateGraphsWithRange(double min, double max);

	private:
		void onFeatureChanged();
		void onToggleLegendButton();
		void onColorMapChanged();
		void onRescaleClicked();
		void onSetRangeClicked();
		/// Colours by the chosen feature. A range set by hand stays when `keepRangeSetByHand`; else the
		/// range comes from the data.
		void updateGraphDisplay(bool keepRangeSetByHand);
		/// Applies the range to every graph that is coloured by a feature; `byHand` marks it as the user's.
		void applyRange(double min, double max, bool byHand);
		/// Refills the feature list after a graph changed, keeping the chosen feature while it exists.
		void onGraphChanged();
		/// Smallest min and largest max over the panel's graphs.
		std::pair<double, double> combinedRange(const std::string& name, int kind) const;
		FeatureLegend* legendOf(Graph& graph) const;
		void hideAllLegends();
		void requestUpdate();
		void setGraphs(std::vector<Graph*> graphs);

		std::vector<Graph*> m_graphs;
		QToolButton* m_legendButton = nullptr;
		QComboBox* m_featureCombo = nullptr;
		QComboBox* m_colormapCombo = nullptr;
		QPushButton* m_setRangeButton = nullptr;
		QPushButton* m_rescaleButton = nullptr;
		SignalReceiver m_receiver; ///< forgets graphs that are deleted
	};
}
