#include "src/gui/GlGraphDisplayOptionsWidget.h"

#include "host/gui/DataDisplayHandler.h"
#include "host/gui/PropertiesWidget.h"
#include "src/graph/GlGraphDisplayOptions.h"
#include "src/graph/Graph.h"

#include <QSignalBlocker>
#include <QVBoxLayout>

namespace Quorvale
{
	namespace
	{
		constexpr const char* GeneralGroup = "generalOptions";
		constexpr const char* FeatureCircleGroup = "featureCircleOptions";

		PropertiesWidget* addPage(QTabWidget* tabs, const QString& title)
		{
			auto* properties = new PropertiesWidget(tabs);
			properties->setSplitCamelCase(true);
			auto* page = new QWidget(tabs);
			auto* layout = new QVBoxLayout(page);
			layout->addWidget(properties);
			layout->addStretch(0);
			tabs->addTab(page, title);
			return properties;
		}

		void load(PropertiesWidget* page, const Properties& scratch, const char* group)
		{
			const QSignalBlocker block(page);
			if (const Properties* sub = scratch.subProperties(group))
				page->setProperties(*sub);
		}
	}

	GlGraphDisplayOptionsWidget::GlGraphDisplayOptionsWidget(Graph* graph, GUI::UpdateHook* update, void*)
	    : m_general(nullptr)
	    , m_featureCircles(nullptr)
	    , m_graph(graph)
	    , m_update(update)
	{
		setMinimumWidth(330);
		m_general = addPage(this, tr("General"));
		m_featureCircles = addPage(this, tr("Feature Circles"));

		auto* options = graph->components().getOrCreate<GlGraph::DisplayOptions>();
		auto& circles = options->featureCircleOptions.value();
		circles.featureName.setParamType(PropertiesDetail::ParamType::Choice);
		std::vector<std::string> names;
		for (const auto& descriptor : graph->edgeFeatureDescriptors())
			names.push_back(descriptor.name);
		circles.featureName.setAttribute("values", joinStrings(names, ","));
		if (graph->type() != Graph::Type::Directed)
			options->generalOptions->drawDirectionOnLines.setAttribute("hidden", "true");
		updateUnitSuffixVisibility();
		reload(false);

		options->signalParametersChanged.connect(this,
		                                         [this, options](ParameterBase*)
		                                         {
			                                         {
				                                         SignalBlocker mute(options->signalParametersChanged);
				                                         reload(false);
			                                         }
			                                         if (m_update)
				                                         m_update->requestUpdate();
		                                         });
		circles.showLabels.signalValueChanged.connect(this,
		                                              [this]
		                                              {
			                                              updateUnitSuffixVisibility();
			                                              reload(true);
		                                              });
		// A graph deleted before the widget leaves it inert.
		graph->signalDeleted.connect(this,
		                             [this](Data*)
		                             {
			                             m_graph = nullptr;
			                             setEnabled(false);
		                             });
		connect(m_general, &PropertiesWidget::parameterChanged, this, [this] { writeBack(m_general, GeneralGroup); });
		connect(m_featureCircles, &PropertiesWidget::parameterChanged, this, [this] { writeBack(m_featureCircles, FeatureCircleGroup); });
	}

	GlGraphDisplayOptionsWidget::~GlGraphDisplayOptionsWidget() = default;

	void GlGraphDisplayOptionsWidget::updateUnitSuffixVisibility()
	{
		if (!m_graph)
			return;
		auto& circles = m_graph->components().getOrCreate<GlGraph::DisplayOptions>()->featureCircleOptions.value();
		circles.unitSuffix.setAttribute("hidden", circles.showLabels.value() ? "false" : "true");
	}

	void GlGraphDisplayOptionsWidget::reload(bool featureCirclesOnly)
	{
		if (!m_graph)
			return;
		m_scratch = Properties();
		m_graph->components().getOrCreate<GlGraph::DisplayOptions>()->configuration(m_scratch);
		if (!featureCirclesOnly)
			load(m_general, m_scratch, GeneralGroup);
		load(m_featureCircles, m_scratch, FeatureCircleGroup);
	}

	void GlGraphDisplayOptionsWidget::writeBack(PropertiesWidget* page, const char* group)
	{
		if (!m_graph)
			return;
		Properties values;
		Properties& sub = values.addSubProperties(group);
		for (const auto& param : page->properties().params())
			sub.setParamValue(param.name, param.value);
		auto* options = m_graph->components().getOrCreate<GlGraph::DisplayOptions>();
		if (page == m_general)
			options->generalOptions.configure(values);
		else
			options->featureCircleOptions.configure(values);
	}
}
