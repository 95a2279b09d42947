#include "src/algorithms/MinimumSpanningTreeAlgorithm.h"

#include <stdexcept>
#include <utility>

#include "src/algorithms/AlgorithmInputs.h"
#include "host/core/Log.h"
#include "host/lib/DataList.h"
#include "host/lib/SharedImageSet.h"
#include "src/graph/GraphUtils.h"

namespace Quorvale
{
	namespace
	{
		/// The default category, the one users' log filters know these messages by.
		const char* const kCategory = "";

		/// A weight mode no key function exists for (a value read from a stored file, say).
		struct UnknownWeightMode : std::invalid_argument
		{
			using std::invalid_argument::invalid_argument;
		};
	}

	MinimumSpanningTreeAlgorithm::MinimumSpanningTreeAlgorithm(Graph& graph, SharedImageSet* labelMap)
	    : m_graph(graph)
	    , m_labelMap(labelMap)
	    , m_reduction(meanOfValues)
	{
		weightMode.setAttribute("values", "EdgeLength, Diameter, WeightedDiameterEdgeLength, UserDefined");
		edgeFeatureName.setAttribute("values", AlgorithmInputs::featureNames(graph.edgeFeatureDescriptors()));
		edgeFeatureName.setAttribute("hidden", "true");
		weightMode = WeightMode::EdgeLength;
		weightMode.signalValueChanged.connect(
		    this, [this] { edgeFeatureName.setAttribute("hidden", weightMode.value() == WeightMode::UserDefined ? "false" : "true"); });
	}

	MinimumSpanningTreeAlgorithm::~MinimumSpanningTreeAlgorithm() = default;

	bool MinimumSpanningTreeAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		const auto inputs = AlgorithmInputs::graphWithOptionalImage(data);
		if (!inputs)
			return false;
		if (out)
			*out = new MinimumSpanningTreeAlgorithm(*inputs->graph, inputs->image);
		return true;
	}

	void MinimumSpanningTreeAlgorithm::setReduction(const Reduction& reduction) { m_reduction = reduction; }

	double MinimumSpanningTreeAlgorithm::sumOfValues(const std::vector<double>& values) { return MinimumSpanningTree::sumOfValues(values); }

	void MinimumSpanningTreeAlgorithm::compute()
	{
		if (m_graph.type() == Graph::Type::Directed)
		{
			// No result of an earlier run may be handed over as if it were this one's.
			m_result.reset();
			Log::log(Log::Error, kCategory, "This algorithm only works for undirected graphs.");
			m_status = InvalidInput;
			return;
		}
		m_result = std::make_unique<Graph>(m_graph);
		const int keyIdx = m_result->getOrCreateEdgeFeatureIdx("mstSortKey", 0.0);
		try
		{
			buildMstSortKey(keyIdx);
		}
		catch (const MinimumSpanningTree::Error& e)
		{
			keysFailed(IncompleteInput, e.what());
			return;
		}
		catch (const UnknownWeightMode& e)
		{
			keysFailed(InvalidInput, e.what());
			return;
		}
		applyKruskalAndSegmentPrune(keyIdx);
		m_status = Success;
	}

	void MinimumSpanningTreeAlgorithm::applyKruskalAndSegmentPrune(int keyIdx)
	{
		MinimumSpanningTree::applyKruskalAndSegmentPrune(*m_result, keyIdx, pruneBySegment);
	}

	void MinimumSpanningTreeAlgorithm::keysFailed(Status status, const std::string& reason)
	{
		// The copy with its "mstSortKey" column stays the result.
		m_status = status;
		Log::log(Log::Error, kCategory, reason);
		Log::log(Log::Error, kCategory, "Failed to build MST keys.");
	}

	OwningDataList MinimumSpanningTreeAlgorithm::takeOutput()
	{
		OwningDataList out;
		out.add(std::move(m_result));
		return out;
	}

	void MinimumSpanningTreeAlgorithm::buildMstSortKey(int keyIdx)
	{
		Graph& result = *m_result;
		const SharedImage* labels = m_labelMap ? m_labelMap->get(-1) : nullptr;
		// Each mode leaves its reduction here, for a later UserDefined run to use.
		switch (weightMode.value())
		{
			case WeightMode::EdgeLength:
				m_reduction = sumOfValues;
				MinimumSpanningTree::edgeLengthKeys(result, keyIdx, edgeFeatureName, pruneBySegment);
				return;
			case WeightMode::Diameter:
				m_reduction = meanOfValues;
				MinimumSpanningTree::diameterKeys(result, keyIdx, labels, pruneBySegment);
				return;
			case WeightMode::WeightedDiameterEdgeLength:
				m_reduction = sumOfValues;
				MinimumSpanningTree::weightedDiameterEdgeLengthKeys(result, keyIdx, labels, pruneBySegment);
				return;
			case WeightMode::UserDefined:
				MinimumSpanningTree::userDefinedKeys(result, keyIdx, edgeFeatureName, m_reduction, pruneBySegment);
				return;
		}
		throw UnknownWeightMode("Unknown weight mode " + std::to_string(static_cast<int>(weightMode.value())) + ".");
	}
}
