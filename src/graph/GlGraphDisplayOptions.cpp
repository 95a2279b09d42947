#include "src/graph/GlGraphDisplayOptions.h"

#include "host/core/Properties.h"
#include "src/graph/Graph.h"

namespace Quorvale
{
	namespace
	{
		void markAsColor(Parameter<Eigen::Vector4d>& color)
		{
			color.setParamType(PropertiesDetail::ParamType::Color);
			color.setAttribute("type", "reduced");
		}
	}

	GlGraph::DisplayOptions::GeneralOptions::GeneralOptions()
	{
		markAsColor(lineColor);
		markAsColor(pointColor);
	}

	GlGraph::DisplayOptions::GeneralOptions::GeneralOptions(const GeneralOptions& other)
	    : GeneralOptions()
	{
		assignParameters(other);
	}

	GlGraph::DisplayOptions::GeneralOptions& GlGraph::DisplayOptions::GeneralOptions::operator=(const GeneralOptions& other)
	{
		assignParameters(other);
		return *this;
	}

	GlGraph::DisplayOptions::FeatureCircleOptions::FeatureCircleOptions()
	{
		scalingMode.setParamType(PropertiesDetail::ParamType::Enumeration);
		scalingMode.setAttribute("values", joinStrings({"Raw", "RescaledMax", "Logarithmic"}, ", "));
		markAsColor(circleColor);
	}

	GlGraph::DisplayOptions::FeatureCircleOptions::FeatureCircleOptions(const FeatureCircleOptions& other)
	    : FeatureCircleOptions()
	{
		assignParameters(other);
	}

	GlGraph::DisplayOptions::FeatureCircleOptions&
	GlGraph::DisplayOptions::FeatureCircleOptions::operator=(const FeatureCircleOptions& other)
	{
		assignParameters(other);
		return *this;
	}

	GlGraph::DisplayOptions::FeatureColorMapOptions::FeatureColorMapOptions()
	{
		// The preset is stored as a plain number, without the enumeration type word.
		colormap.setParamType(PropertiesDetail::ParamType::Default);
	}

	GlGraph::DisplayOptions::FeatureColorMapOptions::FeatureColorMapOptions(const FeatureColorMapOptions& other)
	    : FeatureColorMapOptions()
	{
		assignParameters(other);
	}

	GlGraph::DisplayOptions::FeatureColorMapOptions&
	GlGraph::DisplayOptions::FeatureColorMapOptions::operator=(const FeatureColorMapOptions& other)
	{
		assignParameters(other);
		return *this;
	}

	GlGraph::DisplayOptions::DisplayOptions() = default;

	GlGraph::DisplayOptions::DisplayOptions(const DisplayOptions& other)
	    : DataComponent<DisplayOptions>(other)
	{
		featureCircleOptions.assign(other.featureCircleOptions);
		generalOptions.assign(other.generalOptions);
		featureColorMapOptions.assign(other.featureColorMapOptions);
	}

	GlGraph::DisplayOptions& GlGraph::DisplayOptions::operator=(const DisplayOptions& other)
	{
		assign(other);
		return *this;
	}

	GlGraph::DisplayOptions::~DisplayOptions() = default;

	bool GlGraph::DisplayOptions::assign(const DataComponentBase& other)
	{
		const auto* source = dynamic_cast<const DisplayOptions*>(&other);
		if (!source)
			return false;
		if (source == this)
			return true;
		Configurable::operator=(*source);
		featureCircleOptions.assign(source->featureCircleOptions);
		generalOptions.assign(source->generalOptions);
		featureColorMapOptions.assign(source->featureColorMapOptions);
		return true;
	}

	bool GlGraph::DisplayOptions::equals(const DataComponentBase& other) const
	{
		const auto* options = dynamic_cast<const DisplayOptions*>(&other);
		return options && *this == *options;
	}

	bool GlGraph::DisplayOptions::operator==(const DisplayOptions& other) const
	{
		Properties theirs;
		Properties mine;
		other.configuration(theirs);
		configuration(mine);
		return theirs.compareWith(mine, Properties::CompareAll);
	}
}
