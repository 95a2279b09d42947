#include "src/algorithms/TransferGraphFeatureToMeshAlgorithm.h"

#include <cmath>

#include <fmt/format.h>

#include "src/algorithms/MeshFeatureTransfer.h"
#include "src/algorithms/AlgorithmInputs.h"
#include "host/core/Log.h"
#include "host/lib/DataList.h"
#include "host/lib/Mesh.h"
#include "src/graph/Graph.h"

namespace Quorvale
{
	namespace
	{
		/// The default category, the one users' log filters know these messages by.
		const char* const kCategory = "";

		const std::string kDiameter = "diameter";
	}

	TransferGraphFeatureToMeshAlgorithm::TransferGraphFeatureToMeshAlgorithm(Graph& graph, Mesh& mesh)
	    : m_graph(graph)
	    , m_mesh(mesh)
	{
		edgeFeatureName.setParamType(PropertiesDetail::ParamType::TextChoice);
		edgeFeatureName.setAttribute("values", AlgorithmInputs::featureNames(graph.edgeFeatureDescriptors()));
	}

	TransferGraphFeatureToMeshAlgorithm::~TransferGraphFeatureToMeshAlgorithm() = default;

	bool TransferGraphFeatureToMeshAlgorithm::createCompatible(const DataList& data, Algorithm** out)
	{
		if (data.size() != 2)
			return false;
		const std::vector<Graph*> graphs = DataList::getGraphs(data);
		const std::vector<Mesh*> meshes = data.getAll<Mesh>();
		if (graphs.size() != 1 || meshes.size() != 1)
			return false;
		if (out)
			*out = new TransferGraphFeatureToMeshAlgorithm(*graphs.front(), *meshes.front());
		return true;
	}

	std::optional<TransferGraphFeatureToMeshAlgorithm::Refusal> TransferGraphFeatureToMeshAlgorithm::invalidSettings() const
	{
		const std::string& name = edgeFeatureName.value();
		if (name.empty())
		{
			const std::string features = AlgorithmInputs::featureNames(m_graph.edgeFeatureDescriptors());
			return Refusal{fmt::format("No edge feature name specified: set edgeFeatureName to {}, the one feature painted (the graph's "
			                           "edge features: {})",
			                           kDiameter, features.empty() ? "none" : features),
			               std::nullopt};
		}
		if (name != kDiameter)
			return Refusal{"Currently only diameter feature is supported", std::nullopt};
		if (!m_graph.getEdgeFeatureIdx(name))
			return Refusal{std::string(), std::nullopt};
		const float range = searchRange.value();
		if (!std::isfinite(range) || range < 0.0f)
			return Refusal{fmt::format("The search range must be a finite value of at least 0, not {}", range), InvalidInput};
		if (!MeshFeatureTransfer::inputsAreFinite(m_graph, m_mesh))
			return Refusal{"The graph's node positions and matrix and the mesh's vertices must be finite", InvalidInput};
		return std::nullopt;
	}

	void TransferGraphFeatureToMeshAlgorithm::compute()
	{
		if (const std::optional<Refusal> refusal = invalidSettings())
		{
			if (!refusal->message.empty())
				Log::log(Log::Error, kCategory, refusal->message);
			if (refusal->status)
				m_status = *refusal->status;
			return;
		}
		if (!MeshFeatureTransfer::anyFiniteValue(m_graph, static_cast<size_t>(*m_graph.getEdgeFeatureIdx(kDiameter))))
		{
			Log::log(Log::Warning, kCategory, "The graph has no edge with a finite diameter: the mesh is left as it was");
			m_status = Success;
			return;
		}
		const std::vector<double> values = getPerVertexFeatures();
		// A largest diameter of 0 (a graph straight from the extraction) searches no radius: no vertex
		// found a node, and painting would only tell the bound apart from nothing.
		if (!(m_bounds.largest > 0.0))
			Log::log(Log::Warning, kCategory,
			         fmt::format("The largest diameter is {}: no vertex finds a node within the search range, the mesh's colours are left "
			                     "as they were",
			                     m_bounds.largest));
		else
			setPerVertexColor(values);
		m_status = Success;
	}

	std::vector<double> TransferGraphFeatureToMeshAlgorithm::getPerVertexFeatures()
	{
		if (edgeFeatureName.value() != kDiameter)
			return std::vector<double>(static_cast<size_t>(m_mesh.numberOfVertices()), 0.0);
		const size_t feature = static_cast<size_t>(m_graph.getEdgeFeatureIdx(edgeFeatureName).value());
		return MeshFeatureTransfer::perVertexValues(m_graph, m_mesh, feature, searchRange.value(), m_bounds);
	}

	void TransferGraphFeatureToMeshAlgorithm::setPerVertexColor(std::vector<double> values)
	{
		if (edgeFeatureName.value() != kDiameter || !(m_bounds.smallest <= m_bounds.largest) || !(m_bounds.largest > 0.0) ||
		    values.size() != static_cast<size_t>(m_mesh.numberOfVertices()))
			return;
		MeshFeatureTransfer::paint(m_mesh, values, m_bounds);
	}
}
