#pragma once

#include "host/core/Configurable.h"
#include "host/core/Parameter.h"
#include "host/core/SubProperty.h"
#include "host/lib/DataComponentBase.h"
#include "host/lib/GlColormap.h"
#include "src/gl/GlGraph.h"

#include <Eigen/Core>

#include <optional>
#include <string>

namespace Quorvale
{
	/// How a graph is drawn: points, lines, feature circles and the feature colour map. A data
	/// component of every `Graph`; stored as three sub-properties "featureCircleOptions",
	/// "generalOptions" and "featureColorMapOptions". Colours are RGBA in [0, 1].
	class GlGraph::DisplayOptions : public DataComponent<GlGraph::DisplayOptions>
	{
	public:
		/// Points, lines, direction marks and node indices.
		class GeneralOptions : public Configurable
		{
		public:
			GeneralOptions();
			GeneralOptions(const GeneralOptions& other);
			GeneralOptions& operator=(const GeneralOptions& other);

			Parameter<bool> drawPoints{"drawPoints", true, this};
			Parameter<double> pointSize{"pointSize", 8.0, this};
			Parameter<Eigen::Vector4d> pointColor{"pointColor", Eigen::Vector4d(1, 0, 0, 1), this};
			Parameter<bool> onlyDrawNontrivialNodes{"onlyDrawNontrivialNodes", true, this};
			Parameter<bool> showNodeIndices{"showNodeIndices", false, this};
			Parameter<bool> drawLines{"drawLines", true, this};
			Parameter<double> lineWidth{"lineWidth", 3.0, this};
			Parameter<Eigen::Vector4d> lineColor{"lineColor", Eigen::Vector4d(0, 0, 1, 1), this};
			Parameter<bool> drawDirectionOnLines{"drawDirectionOnLines", false, this};
		};

		/// Circles (and labels) along edges sized by an edge feature.
		class FeatureCircleOptions : public Configurable
		{
		public:
			enum class ScalingMode : int
			{
				Raw = 0,
				RescaledMax = 1,
				Logarithmic = 2
			};

			FeatureCircleOptions();
			FeatureCircleOptions(const FeatureCircleOptions& other);
			FeatureCircleOptions& operator=(const FeatureCircleOptions& other);

			Parameter<std::optional<std::string>> featureName{"featureName", this};
			Parameter<Eigen::Vector4d> circleColor{"circleColor", Eigen::Vector4d(0, 1, 0, 1), this};
			Parameter<ScalingMode> scalingMode{"scalingMode", ScalingMode::Raw, this};
			Parameter<bool> simplifyLinearChains{"simplifyLinearChains", false, this};
			Parameter<bool> showLabels{"showLabels", false, this};
			Parameter<std::string> unitSuffix{"unitSuffix", std::string(), this};
		};

		/// Colouring of nodes or edges by a feature.
		class FeatureColorMapOptions : public Configurable
		{
		public:
			FeatureColorMapOptions();
			FeatureColorMapOptions(const FeatureColorMapOptions& other);
			FeatureColorMapOptions& operator=(const FeatureColorMapOptions& other);

			Parameter<std::optional<std::string>> edgeFeatureName{"edgeFeatureName", this};
			Parameter<std::optional<std::string>> nodeFeatureName{"nodeFeatureName", this};
			Parameter<GlColormap::Preset> colormap{"colormap", GlColormap::Preset::CoolWarm, this};
		};

		DisplayOptions();
		/// Builds each group anew and assigns it from `other`'s.
		DisplayOptions(const DisplayOptions& other);
		DisplayOptions& operator=(const DisplayOptions& other);
		~DisplayOptions() override;

		std::string id() const override { return "GlGraphDisplayOptions"; }
		/// Takes the values of `other`; false (nothing changed) when it is not display options.
		bool assign(const DataComponentBase& other) override;
		/// True when `other` is display options with the same stored values.
		bool equals(const DataComponentBase& other) const override;
		bool operator==(const DisplayOptions& other) const;
		bool operator!=(const DisplayOptions& other) const { return !(*this == other); }

		SubProperty<FeatureCircleOptions> featureCircleOptions{"featureCircleOptions", FeatureCircleOptions(), this};
		SubProperty<GeneralOptions> generalOptions{"generalOptions", GeneralOptions(), this};
		SubProperty<FeatureColorMapOptions> featureColorMapOptions{"featureColorMapOptions", FeatureColorMapOptions(), this};
	};
}
