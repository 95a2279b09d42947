#include "src/gui/GraphDataController.h"

#include "host/core/String.h"
#include "host/gui/ColorBarOverlay.h"
#include "host/gui/DisplayWidgetMulti.h"
#include "host/gui/GlView.h"
#include "host/gui/View.h"
#include "host/lib/DataModel.h"
#include "src/graph/GlGraphDisplayOptions.h"
#include "src/graph/Graph.h"
#include "src/gui/FeatureKey.h"
#include "src/gui/RangeInputDialog.h"

#include <fmt/format.h>

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace Quorvale
{
	namespace
	{
		using Options = GlGraph::DisplayOptions;
		constexpr double Lowest = std::numeric_limits<double>::lowest();
		constexpr double Largest = std::numeric_limits<double>::max();

		struct PresetEntry
		{
			const char* text;
			GlColormap::Preset preset;
		};
		const PresetEntry Presets[] = {{"Cool-warm divergent", GlColormap::Preset::CoolWarm}, {"Grayscale", GlColormap::Preset::Grayscale},
		                               {"Hot iron", GlColormap::Preset::HotIron},              {"Inferno", GlColormap::Preset::Inferno},
		                               {"Jet", GlColormap::Preset::Jet},                       {"Viridis", GlColormap::Preset::Viridis}};

		Options::FeatureColorMapOptions& colorMapOptions(Graph& graph)
		{
			return graph.components().getOrCreate<Options>()->featureColorMapOptions.value();
		}

		void resetFeatureNames(Graph& graph)
		{
			auto& options = colorMapOptions(graph);
			if (options.edgeFeatureName.value())
				options.edgeFeatureName.setValue(std::nullopt);
			if (options.nodeFeatureName.value())
				options.nodeFeatureName.setValue(std::nullopt);
		}

		void setFeatureName(Graph& graph, const detail::FeatureKey& key)
		{
			auto& options = colorMapOptions(graph);
			auto& parameter = key.kind == detail::FeatureKey::Edge ? options.edgeFeatureName : options.nodeFeatureName;
			if (parameter.value() != key.name)
				parameter.setValue(key.name);
		}

		std::set<detail::FeatureKey> featureKeys(const Graph& graph)
		{
			std::set<detail::FeatureKey> keys;
			for (const auto& d : graph.edgeFeatureDescriptors())
				keys.insert({detail::FeatureKey::Edge, d.name});
			for (const auto& d : graph.nodeFeatureDescriptors())
				keys.insert({detail::FeatureKey::Node, d.name});
			return keys;
		}

		/// The features that every one of the graphs has.
		std::set<detail::FeatureKey> commonFeatureKeys(const std::vector<Graph*>& graphs)
		{
			std::set<detail::FeatureKey> keys;
			if (!graphs.empty())
				keys = featureKeys(*graphs.front());
			for (size_t i = 1; i < graphs.size(); ++i)
			{
				const auto other = featureKeys(*graphs[i]);
				std::set<detail::FeatureKey> common;
				std::set_intersection(keys.begin(), keys.end(), other.begin(), other.end(), std::inserter(common, common.end()));
				keys = std::move(common);
			}
			return keys;
		}

		/// The features the combo box lists (after "None").
		std::set<detail::FeatureKey> listedFeatureKeys(const QComboBox& combo)
		{
			std::set<detail::FeatureKey> keys;
			for (int i = 1; i < combo.count(); ++i)
				keys.insert(combo.itemData(i).value<detail::FeatureKey>());
			return keys;
		}

		std::optional<detail::FeatureKey> currentFeature(Graph& graph)
		{
			auto& options = colorMapOptions(graph);
			if (const auto& edge = options.edgeFeatureName.value())
				return detail::FeatureKey{detail::FeatureKey::Edge, *edge};
			if (const auto& node = options.nodeFeatureName.value())
				return detail::FeatureKey{detail::FeatureKey::Node, *node};
			return std::nullopt;
		}
	}

	// FeatureColorMapper ----------------------------------------------------------------------------

	GraphDataController::FeatureColorMapper::FeatureColorMapper() = default;
	GraphDataController::FeatureColorMapper::~FeatureColorMapper() = default;

	void GraphDataController::FeatureColorMapper::setColormap(GlColormap::Preset preset, int count, double min, double max)
	{
		if (min > max)
			std::swap(min, max);
		m_min = min;
		m_max = max;
		m_count = std::max(count, 1);
		const GlColormap colormap(preset, m_count, 0);
		ImageDescriptor descriptor(ImageDescriptor::Float, Eigen::Vector3i(m_count, 1, 1), 4);
		m_image = TypedImage<float>::create(descriptor);
		colormap.download(*m_image);
		m_table = m_image->pointer();
	}

	Eigen::Vector4f GraphDataController::FeatureColorMapper::colorFor(double value) const
	{
		if (!m_table || m_count <= 0)
			return {1.f, 0.f, 1.f, 1.f};
		if (std::isnan(value))
			return {0.5f, 0.5f, 0.5f, 1.f};
		const double t = (std::clamp(value, m_min, m_max) - m_min) / std::max(m_max - m_min, std::numeric_limits<double>::min());
		const double position = std::clamp(std::round((m_count - 1) * t), 0.0, static_cast<double>(m_count - 1));
		return Eigen::Vector4f(m_table + static_cast<size_t>(position) * 4);
	}

	// FeatureLegend ---------------------------------------------------------------------------------

	GraphDataController::FeatureLegend::~FeatureLegend()
	{
		if (m_overlay && m_view)
			m_view->removeOverlay(m_overlay);
	}

	GraphDataController::FeatureLegend* GraphDataController::FeatureLegend::getOrCreate(Graph& graph, GlView* view)
	{
		auto* legend = graph.components().get<FeatureLegend>();
		if (!legend)
			legend = graph.components().add(std::make_unique<FeatureLegend>());
		if (!legend->m_overlay && view)
		{
			auto overlay = std::make_unique<GUI::ColorBarOverlay>();
			overlay->setMargin(10, 0);
			overlay->setSize(150, 200);
			overlay->setColormapMaxSize(20);
			legend->attach(overlay.get(), view);
			view->addOverlay(std::move(overlay), 7, -1);
			legend->setVisible(false);
		}
		return legend;
	}

	void GraphDataController::FeatureLegend::attach(GUI::ColorBarOverlay* overlay, GlView* view)
	{
		m_receiver.disconnectAll();
		m_overlay = overlay;
		m_view = view;
		overlay->signalDestroyed.connect(&m_receiver,
		                                 [this]
		                                 {
			                                 m_overlay = nullptr;
			                                 m_view = nullptr;
		                                 });
	}

	void GraphDataController::FeatureLegend::setRange(double min, double max)
	{
		if (!m_overlay)
			return;
		std::vector<std::string> labels;
		// A feature without values has the range (largest, lowest): nothing to label.
		const auto usable = [](double v) { return std::isfinite(v) && std::abs(v) < Largest; };
		if (!usable(min) || !usable(max))
		{
			m_overlay->setLabels(labels);
			return;
		}
		for (double f : {0.0, 1.0 / 3.0, 2.0 / 3.0, 1.0})
			labels.push_back(fmt::format("{:.3g}", f == 0.0 ? min : f == 1.0 ? max : min + (max - min) * f));
		m_overlay->setLabels(labels);
		m_overlay->setLabelHeights({0.0, 1.0 / 3.0, 2.0 / 3.0, 1.0});
	}

	void GraphDataController::FeatureLegend::setVisible(bool visible)
	{
		if (m_overlay)
			m_overlay->setVisible(visible);
	}

	bool GraphDataController::FeatureLegend::isVisible() const { return m_overlay && m_overlay->isVisible(); }

	// Panel -----------------------------------------------------------------------------------------

	bool GraphDataController::createCompatible(const DataList& data, DataController** out)
	{
		const std::vector<Graph*> graphs = DataList::getGraphs(data);
		if (graphs.empty() || static_cast<int>(graphs.size()) != data.size())
			return false;
		if (out)
			*out = new GraphDataController(graphs);
		return true;
	}

	GraphDataController::GraphDataController(std::vector<Graph*> graphs)
	    : DataController(DataList(std::vector<Data*>(graphs.begin(), graphs.end())))
	{
		setGraphs(std::move(graphs));
	}

	GraphDataController::~GraphDataController() = default;

	void GraphDataController::setGraphs(std::vector<Graph*> graphs)
	{
		m_receiver.disconnectAll();
		m_graphs = std::move(graphs);
		for (Graph* graph : m_graphs)
		{
			graph->signalDeleted.connect(&m_receiver,
			                             [this](Data* gone) { m_graphs.erase(std::remove(m_graphs.begin(), m_graphs.end(), gone), m_graphs.end()); });
			graph->signalDataChanged.connect(&m_receiver, [this] { onGraphChanged(); });
		}
	}

	void GraphDataController::onGraphChanged()
	{
		// Edits by hand announce every step: only a change of the features refills the list.
		if (!m_featureCombo || listedFeatureKeys(*m_featureCombo) == commonFeatureKeys(m_graphs))
			return;
		const QVariant chosen = m_featureCombo->currentData();
		int index = 0;
		{
			const QSignalBlocker block(m_featureCombo);
			updateFeatureNames();
			for (int i = 1; i < m_featureCombo->count() && chosen.isValid() && index == 0; ++i)
				if (m_featureCombo->itemData(i).value<detail::FeatureKey>() == chosen.value<detail::FeatureKey>())
					index = i;
			m_featureCombo->setCurrentIndex(index);
		}
		// The chosen feature is gone: colour by none.
		if (chosen.isValid() && index == 0)
			updateGraphDisplay(false);
	}

	void GraphDataController::init()
	{
		detail::FeatureKey::registerMetaType();
		auto* layout = new QVBoxLayout(this);
		layout->setSpacing(6);
		layout->setContentsMargins(0, 0, 0, 0);
		auto* group = new QGroupBox(tr("Feature Colormap"), this);
		layout->addWidget(group);
		auto* row = new QHBoxLayout(group);
		row->setSpacing(6);

		m_featureCombo = new QComboBox(group);
		m_featureCombo->setToolTip(tr("Select feature to visualize"));
		m_featureCombo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
		// At least 100 pixels, and as wide as its longest feature (see `updateFeatureNames`).
		m_featureCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
		updateFeatureNames();
		row->addWidget(m_featureCombo, 1);

		m_colormapCombo = new QComboBox(group);
		m_colormapCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
		m_colormapCombo->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
		m_colormapCombo->setToolTip(tr("Select colormap"));
		updateColorPresets();
		row->addWidget(m_colormapCombo, 0);

		m_legendButton = new QToolButton(group);
		m_legendButton->setText(tr("Legend"));
		m_legendButton->setCheckable(true);
		m_legendButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
		row->addWidget(m_legendButton);

		m_rescaleButton = new QPushButton(tr("Rescale"), group);
		m_rescaleButton->setToolTip(tr("Automatically rescale the feature range"));
		row->addWidget(m_rescaleButton);
		m_setRangeButton = new QPushButton(tr("Set Range"), group);
		m_setRangeButton->setToolTip(tr("Manually set the feature range"));
		row->addWidget(m_setRangeButton);

		connect(m_legendButton, &QToolButton::clicked, this, [this] { onToggleLegendButton(); });
		connect(m_featureCombo, &QComboBox::currentTextChanged, this, [this] { onFeatureChanged(); });
		connect(m_colormapCombo, &QComboBox::currentTextChanged, this, [this] { onColorMapChanged(); });
		connect(m_rescaleButton, &QPushButton::clicked, this, [this] { onRescaleClicked(); });
		connect(m_setRangeButton, &QPushButton::clicked, this, [this] { onSetRangeClicked(); });
	}

	void GraphDataController::updateColorPresets()
	{
		m_colormapCombo->clear();
		for (const auto& entry : Presets)
			m_colormapCombo->addItem(tr(entry.text), static_cast<int>(entry.preset));
	}

	void GraphDataController::updateFeatureNames()
	{
		m_featureCombo->clear();
		m_featureCombo->addItem(tr("None"));
		for (const auto& key : commonFeatureKeys(m_graphs))
		{
			const QString prefix = key.kind == detail::FeatureKey::Edge ? QString::fromUtf8("\u2015  ") : QString::fromUtf8("\u25CF  ");
			m_featureCombo->addItem(prefix + QString::fromStdString(key.name), QVariant::fromValue(key));
		}
		m_featureCombo->setMinimumWidth(0);
		m_featureCombo->setMinimumWidth(std::max(100, m_featureCombo->minimumSizeHint().width()));
	}

	void GraphDataController::onFeatureChanged() { updateGraphDisplay(false); }

	void GraphDataController::onToggleLegendButton() { updateGraphDisplay(true); }

	void GraphDataController::onColorMapChanged()
	{
		const auto preset = static_cast<GlColormap::Preset>(m_colormapCombo->currentData().toInt());
		for (Graph* graph : m_graphs)
		{
			auto& parameter = colorMapOptions(*graph).colormap;
			if (parameter.value() != preset)
				parameter.setValue(preset);
		}
		updateGraphDisplay(true);
	}

	GraphDataController::FeatureLegend* GraphDataController::legendOf(Graph& graph) const
	{
		GlView* view = nullptr;
		if (displayWidget())
			if (GUI::View* v = displayWidget()->view3D(0))
				view = v->glView();
		return FeatureLegend::getOrCreate(graph, view);
	}

	void GraphDataController::requestUpdate()
	{
		if (displayWidget())
			displayWidget()->requestUpdate();
	}

	std::pair<double, double> GraphDataController::combinedRange(const std::string& name, int kind) const
	{
		double min = Largest, max = Lowest;
		for (const Graph* graph : m_graphs)
		{
			const auto [lo, hi] = featureRange(*graph, name, kind);
			min = std::min(min, lo);
			max = std::max(max, hi);
		}
		return {min, max};
	}

	void GraphDataController::updateGraphDisplay(bool keepRangeSetByHand)
	{
		const QVariant data = m_featureCombo->currentData();
		if (!data.isValid())
		{
			for (Graph* graph : m_graphs)
			{
				legendOf(*graph)->setVisible(false);
				resetFeatureNames(*graph);
			}
			requestUpdate();
			return;
		}
		const auto key = data.value<detail::FeatureKey>();
		const bool legendWanted = m_legendButton->isChecked();
		// The data's range: each graph's own, or the combined one of several.
		std::pair<double, double> combined{Largest, Lowest};
		if (m_graphs.size() > 1)
		{
			combined = combinedRange(key.name, key.kind);
			if (combined.first == Largest && combined.second == Lowest)
				return;
		}
		for (size_t i = 0; i < m_graphs.size(); ++i)
		{
			Graph& graph = *m_graphs[i];
			resetFeatureNames(graph);
			setFeatureName(graph, key);
			const auto* kept = graph.components().get<FeatureColorMapper>();
			if (!keepRangeSetByHand || !kept || !kept->isRangeSetByHand())
				kept = nullptr;
			const auto [min, max] = kept ? std::pair{kept->min(), kept->max()} : m_graphs.size() > 1 ? combined : featureRange(graph, key.name, key.kind);
			FeatureLegend* legend = legendOf(graph);
			applyFeatureRange(legend, graph, key.name, colorMapOptions(graph).colormap.value(), min, max);
			colorMapper(graph).setRangeSetByHand(kept != nullptr);
			legend->setVisible(legendWanted && i == 0);
		}
		requestUpdate();
	}

	void GraphDataController::onRescaleClicked()
	{
		const QVariant data = m_featureCombo->currentData();
		if (!data.isValid())
			return;
		const auto key = data.value<detail::FeatureKey>();
		const auto [min, max] = combinedRange(key.name, key.kind);
		applyRange(min, max, false);
	}

	void GraphDataController::onSetRangeClicked()
	{
		detail::RangeInputDialog dialog(this);
		if (!m_graphs.empty())
			if (const auto* mapper = m_graphs.front()->components().get<FeatureColorMapper>())
				dialog.setRange(mapper->min(), mapper->max());
		if (dialog.exec() == QDialog::Accepted)
			applyRange(dialog.minimumValue(), dialog.maximumValue(), true);
	}

	void GraphDataController::updateGraphsWithRange(double min, double max) { applyRange(min, max, false); }

	void GraphDataController::applyRange(double min, double max, bool byHand)
	{
		const bool legendWanted = m_legendButton->isChecked();
		for (size_t i = 0; i < m_graphs.size(); ++i)
		{
			Graph& graph = *m_graphs[i];
			const auto key = currentFeature(graph);
			if (!key)
				continue;
			FeatureLegend* legend = legendOf(graph);
			applyFeatureRange(legend, graph, key->name, colorMapOptions(graph).colormap.value(), min, max);
			colorMapper(graph).setRangeSetByHand(byHand);
			legend->setVisible(legendWanted && (m_graphs.size() <= 1 || i == 0));
		}
		requestUpdate();
	}

	void GraphDataController::hideAllLegends()
	{
		if (!dataModel())
			return;
		for (Graph* graph : DataList::getGraphs(dataModel()->getAll(0, 0)))
			if (auto* legend = graph->components().get<FeatureLegend>())
				legend->setVisible(false);
	}

	void GraphDataController::onSelectedDataChanged(const DataList& selected)
	{
		DataController::onSelectedDataChanged(selected);
		const std::vector<Graph*> graphs = DataList::getGraphs(selected);
		// The legend button tells whether the graph's legend is up, as it was before the panel came.
		const auto* shownLegend = graphs.size() == 1 ? graphs.front()->components().get<FeatureLegend>() : nullptr;
		const bool legendShown = shownLegend && shownLegend->isVisible();
		hideAllLegends();
		setGraphs(graphs);
		{
			const QSignalBlocker block(m_featureCombo);
			updateFeatureNames();
		}
		if (m_graphs.size() != 1)
		{
			const QSignalBlocker block(m_colormapCombo);
			updateColorPresets();
			requestUpdate();
			return;
		}
		Graph& graph = *m_graphs.front();
		if (m_featureCombo->count() < 2)
		{
			const QSignalBlocker block(m_colormapCombo);
			updateColorPresets();
			m_legendButton->setChecked(false);
			requestUpdate();
			return;
		}
		{
			const QSignalBlocker block(m_featureCombo);
			int index = -1;
			if (const auto key = currentFeature(graph))
				for (int i = 1; i < m_featureCombo->count() && index < 0; ++i)
					if (m_featureCombo->itemData(i).value<detail::FeatureKey>() == *key)
						index = i;
			m_featureCombo->setCurrentIndex(std::max(index, 0));
			m_legendButton->setChecked(index > 0 && legendShown);
		}
		{
			const QSignalBlocker block(m_colormapCombo);
			const int index = m_colormapCombo->findData(static_cast<int>(colorMapOptions(graph).colormap.value()));
			if (index >= 0)
				m_colormapCombo->setCurrentIndex(index);
		}
		legendOf(graph)->setVisible(m_legendButton->isChecked());
		requestUpdate();
	}

	void GraphDataController::onVisibleDataChanged(const DataList& visible)
	{
		hideAllLegends();
		if (m_legendButton->isChecked())
		{
			const auto graphs = DataList::getGraphs(visible);
			if (!graphs.empty())
				legendOf(*graphs.front())->setVisible(true);
		}
		requestUpdate();
	}

	std::pair<double, double> GraphDataController::featureRange(const Graph& graph, const std::string& name, int kind)
	{
		double min = Largest, max = Lowest;
		const auto take = [&](double v)
		{
			if (std::isnan(v))
				return;
			min = std::min(min, v);
			max = std::max(max, v);
		};
		if (kind == detail::FeatureKey::Node)
		{
			const auto& d = graph.nodeFeatureDescriptors();
			const auto it = std::find_if(d.begin(), d.end(), [&name](const auto& x) { return x.name == name; });
			if (it == d.end())
				return {min, max};
			const auto index = static_cast<size_t>(it - d.begin());
			graph.forEachNode([&](uint64_t, const Graph::NodeInfo& node) { take(node.features().at(index)); });
		}
		else
		{
			const auto index = graph.getEdgeFeatureIdx(name);
			if (!index)
				return {min, max};
			graph.forEachEdge([&](const Graph::EdgeInfo& edge, uint64_t, uint64_t) { take(edge.features().at(static_cast<size_t>(*index))); });
		}
		return {min, max};
	}

	void GraphDataController::applyFeatureRange(FeatureLegend* legend, Graph& graph, const std::string& name, GlColormap::Preset preset,
	                                            double min, double max)
	{
		FeatureColorMapper& mapper = colorMapper(graph);
		mapper.setColormap(preset, 256, min, max);
		if (legend && legend->overlay())
		{
			GUI::ColorBarOverlay* overlay = legend->overlay();
			overlay->setVisible(true);
			overlay->setTitle(String::splitCamelCase(name));
			// The labels run as the colours do: along the mapper's range, which an inverted range swaps.
			legend->setRange(mapper.min(), mapper.max());
			overlay->setColormap(std::vector<float>(mapper.table(), mapper.table() + static_cast<size_t>(mapper.count()) * 4));
		}
	}

	GraphDataController::FeatureColorMapper& GraphDataController::colorMapper(Graph& graph)
	{
		if (auto* existing = graph.components().get<FeatureColorMapper>())
			return *existing;
		auto mapper = std::make_unique<FeatureColorMapper>();
		auto& options = colorMapOptions(graph);
		double min = 0.0, max = 1.0;
		if (const auto key = currentFeature(graph))
		{
			const auto range = featureRange(graph, key->name, key->kind);
			if (range.first <= range.second)
				std::tie(min, max) = range;
		}
		mapper->setColormap(options.colormap.value(), 256, min, max);
		return *graph.components().add(std::move(mapper));
	}
}
