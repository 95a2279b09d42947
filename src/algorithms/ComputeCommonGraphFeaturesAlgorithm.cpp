#include "src/algorithms/ComputeCommonGraphFeaturesAlgorithm.h"

#include <fmt/format.h>

#include "src/algorithms/AlgorithmInputs.h"
#include "src/algorithms/GraphFeatures.h"
#include "host/core/Log.h"
#include "host/lib/DataList.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"

namespace Quorvale
{
	namespace
	{
		/// The default category, the one users' log filters know these messages by.
		const char* const kCategory = "";
	}

	ComputeCommonGraphFeaturesAlgorithm::ComputeCommonGraphFeaturesAlgorithm(Graph& graph, SharedImageSet* labelMap)
	    : m_graph(graph)
	    , m_labelMap(labelMap)
	{
		mode.setParamType(PropertiesDetail::ParamType::Enumeration);
		mode.setAttribute("values", "EdgeLength, Diameter, CrossSection, Degree, VesselDiameter");
		mode.setValue(labelMap ? Mode::Diameter : Mode::EdgeLength);

		if (mode.value() != Mode::VesselDiameter)
		{
			slidingAverage.setAttribute("hidden", "true");
			clampEdges.setAttribute("hidden", "true");
		}
		if (mode.value() != Mode::VesselDiameter && mode.value() != Mode::Diameter)
			averageZeroEdges.setAttribute("hidden", "true");

		auto hiddenUnless = [](bool shown) { return shown ? "false" : "true"; };
		mode.signalValueChanged.connect(this, [this, hiddenUnless]()
		                                { clampEdges.setAttribute("hidden", hiddenUnless(mode.value() == Mode::VesselDiameter)); });
		mode.signalValueChanged.connect(this, [this, hiddenUnless]()
		                                { slidingAverage.setAttribute("hidden", hiddenUnless(mode.value() == Mode::VesselDiameter)); });
		mode.signalValueChanged.connect(this,
		                                [this, hiddenUnless]() {
			                                averageZeroEdges.setAttribute("hidden", hiddenUnless(mode.value() == Mode::VesselDiameter ||
			                                                                                     mode.value() == Mode::Diameter));
		                                });
	}

	ComputeCommonGraphFeaturesAlgorithm::~ComputeCommonGraphFeaturesAlgorithm() = default;

	bool ComputeCommonGraphFeaturesAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		const auto inputs = AlgorithmInputs::graphWithOptionalImage(data);
		if (!inputs)
			return false;
		if (out)
			*out = new ComputeCommonGraphFeaturesAlgorithm(*inputs->graph, inputs->image);
		return true;
	}

	const SharedImage* ComputeCommonGraphFeaturesAlgorithm::labelImage() const { return m_labelMap ? m_labelMap->get(-1) : nullptr; }

	std::optional<std::string> ComputeCommonGraphFeaturesAlgorithm::invalidSettings() const
	{
		const Mode chosen = mode.value();
		if (chosen != Mode::EdgeLength && chosen != Mode::Diameter && chosen != Mode::CrossSection && chosen != Mode::Degree &&
		    chosen != Mode::VesselDiameter)
			return fmt::format("Unknown mode {}: expected 0 (EdgeLength), 1 (Diameter), 2 (CrossSection), 3 (Degree) or 4 (VesselDiameter).",
			                   static_cast<int>(chosen));
		// Cross sections measure diameters first only when the graph has none.
		const bool measures = chosen == Mode::Diameter || chosen == Mode::VesselDiameter ||
		                      (chosen == Mode::CrossSection && !m_graph.getEdgeFeatureIdx("diameter"));
		if (!measures)
			return std::nullopt;
		if (!m_labelMap)
			return "Label not set.";
		if (!labelImage())
			return "The label map holds no image.";
		return std::nullopt;
	}

	bool ComputeCommonGraphFeaturesAlgorithm::writeFeature()
	{
		switch (mode.value())
		{
			case Mode::EdgeLength:
				GraphFeatures::computeEdgeLengths(m_graph);
				return true;
			case Mode::Diameter:
				return GraphFeatures::computeDiameters(m_graph, *labelImage(), averageZeroEdges, threshold).has_value();
			case Mode::VesselDiameter:
				return GraphFeatures::computeVesselDiameters(m_graph, *labelImage(), clampEdges, slidingAverage, averageZeroEdges, threshold)
				    .has_value();
			case Mode::CrossSection:
				if (!m_graph.getEdgeFeatureIdx("diameter") && !GraphFeatures::computeDiameters(m_graph, *labelImage(), averageZeroEdges, threshold))
					return false;
				GraphFeatures::computeCrossSections(m_graph);
				return true;
			case Mode::Degree:
				GraphFeatures::computeDegrees(m_graph);
				return true;
		}
		return true;
	}

	void ComputeCommonGraphFeaturesAlgorithm::compute()
	{
		if (const std::optional<std::string> problem = invalidSettings())
		{
			Log::log(Log::Error, kCategory, *problem);
			m_status = InvalidInput;
			return;
		}
		if (!writeFeature())
		{
			Log::log(Log::Error, kCategory,
			         fmt::format("Cannot measure diameters in a label image of pixel type {}: expected unsigned 8-bit (5121), unsigned 16-bit "
			                     "(5123) or float (5126) labels.",
			                     labelImage()->descriptor().pixelType()));
			m_status = InvalidInput;
			return;
		}
		m_status = Success;
	}

	OwningDataList ComputeCommonGraphFeaturesAlgorithm::takeOutput() { return {}; }

	int ComputeCommonGraphFeaturesAlgorithm::computeEdgeLengths(Graph& graph) { return GraphFeatures::computeEdgeLengths(graph); }

	int ComputeCommonGraphFeaturesAlgorithm::computeDiameters(Graph& graph, const SharedImage& labelImage, bool averageZeroEdges,
	                                                          double threshold)
	{
		return GraphFeatures::computeDiameters(graph, labelImage, averageZeroEdges, threshold).value_or(-1);
	}

	int ComputeCommonGraphFeaturesAlgorithm::computeCrossSections(Graph& graph) { return GraphFeatures::computeCrossSections(graph); }

	int ComputeCommonGraphFeaturesAlgorithm::computeVesselDiameters(Graph& graph, const SharedImage& labelImage, bool clampEdges,
	                                                                std::optional<int> slidingAverage, bool averageZeroEdges,
	                                                                double threshold)
	{
		return GraphFeatures::computeVesselDiameters(graph, labelImage, clampEdges, slidingAverage, averageZeroEdges, threshold).value_or(-1);
	}
}
