#include "src/algorithms/GraphReindexingAlgorithm.h"

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

#include "src/algorithms/GraphReindexing.h"
#include "host/core/Log.h"
#include "host/lib/DataList.h"

namespace Quorvale
{
	namespace
	{
		/// The default category, the one users' log filters know these messages by.
		const char* const kCategory = "";
	}

	GraphReindexingAlgorithm::GraphReindexingAlgorithm(Graph& graph)
	    : m_graph(graph)
	{
		mode.setAttribute("values", "Manual,Largest Diameter");
		rootIndex.setLabel("Root index");
		rootIndex.setAttribute("min", "0");
		uint64_t largest = 0;
		graph.forEachNode([&largest](uint64_t id, const Graph::NodeInfo&) { largest = id; });
		// An editor reads the range as a 32-bit number; larger identifiers are clamped to what it can hold.
		largest = std::min<uint64_t>(largest, static_cast<uint64_t>(std::numeric_limits<int32_t>::max()));
		rootIndex.setAttribute("max", std::to_string(largest));
	}

	GraphReindexingAlgorithm::~GraphReindexingAlgorithm() = default;

	bool GraphReindexingAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		const std::vector<Graph*> graphs = DataList::getGraphs(data);
		if (graphs.size() != 1)
			return false;
		if (out)
			*out = new GraphReindexingAlgorithm(*graphs.front());
		return true;
	}

	void GraphReindexingAlgorithm::compute()
	{
		try
		{
			if (mode.value() == Mode::LargestDiameter)
				if (const std::optional<uint64_t> root = GraphReindexing::largestDiameterLeaf(m_graph))
					rootIndex = *root;
			place(GraphReindexing::renumberedFrom(m_graph, rootIndex));
			m_status = Success;
		}
		catch (const GraphReindexing::Error& e)
		{
			Log::log(Log::Error, kCategory, e.what());
			m_status = Error;
		}
	}

	void GraphReindexingAlgorithm::place(Graph&& renumbered)
	{
		if (inPlace)
		{
			// The graph stays the same object in the data model: keep its name, matrix and display
			// settings and take over only the renumbered nodes and edges.
			static_cast<Data&>(renumbered) = static_cast<const Data&>(m_graph);
			m_graph = std::move(renumbered);
			m_output.reset();
		}
		else
			m_output = std::make_unique<Graph>(std::move(renumbered));
	}

	OwningDataList GraphReindexingAlgorithm::takeOutput()
	{
		OwningDataList out;
		out.add(std::move(m_output));
		return out;
	}
}
