#pragma once

#include "host/core/Signal.h"
#include "host/gl/GlObject.h"

#include <Eigen/Core>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Quorvale
{
	class Graph;
	class GlView;

	namespace GL
	{
		class VertexBuffer;
		class ViewState;
	}

	/// Draws a `Graph` in the host's views: node points, edge lines (optionally with direction arrows),
	/// feature circles around edges or linear chains with value labels, and node indices, as the graph's
	/// `GlGraph::DisplayOptions` say; lines coloured by a feature use the graph's colour table (see
	/// `GraphDataController::FeatureColorMapper`). Does not own the graph and forgets it when it is
	/// deleted: as a signal receiver it follows the graph's matrix and deletion. GUI thread only.
	class GlGraph : public GlObject, public virtual SignalReceiver
	{
	public:
		/// Per-graph display settings (src/graph/GlGraphDisplayOptions.h), a component of every graph.
		class DisplayOptions;

		/// One simplified linear chain: its direction, reduced feature value and centre.
		struct ChainRecord
		{
			Eigen::Vector3d direction;
			double value;
			Eigen::Vector3d centre;
		};

		/// Vertices of the lines pass: two per edge, four more per edge with arrows.
		struct LineVertices
		{
			std::vector<Eigen::Vector3d> positions;
			std::vector<Eigen::Vector4f> colors;
		};

		GlGraph();
		explicit GlGraph(const Graph* graph);
		~GlGraph() override;

		/// Draws `graph` from now on (null for none).
		void setGraph(const Graph* graph);
		const Graph* graph() const { return m_graph; }

		void draw(const GlView& view) override;
		/// The graph's own bounds (empty without a graph).
		Geometry::AlignedBox bounds() const override;
		std::string typeName() const override { return "GlGraph"; }

		/// True when the node has exactly two neighbours other than itself (a self-loop does not count).
		static bool isChainInteriorNode(uint64_t id, const Graph& graph);

		/// Line vertices of the graph as its options say; `zDir` (towards the viewer) orients arrowheads.
		static LineVertices buildLineVertices(const Graph& graph, const Eigen::Vector3d& zDir);
		/// Transforms of the unit circle (columns: first axis, second axis, 0, centre) and, when asked, the
		/// raw feature values, one per circle.
		static void buildFeatureCircles(const Graph& graph, std::vector<Eigen::Matrix4d>& transforms, std::vector<double>* rawValues);
		/// One record per linear chain (a chain ends at nodes with other than two neighbour entries; a
		/// closed chain is one record too): `reduction` of the chain's values of edge feature `feature`,
		/// centred on the chain's middle point (or between its two middle points) and directed along the
		/// chain there. Self-loops and an index of no edge feature give no record.
		static std::vector<ChainRecord> reduceLinearChains(const Graph& graph, const std::function<double(const std::vector<double>&)>& reduction,
		                                                   int feature);
		/// The scale of RescaledMax and Logarithmic circle sizes: half the largest "diameter", else the
		/// edge's share of the bounding volume, never 0.
		static double circleScale(const Graph& graph);

	private:
		/// The passes of `draw`, each with its options; the model matrix is the graph's.
		void drawPoints(const GL::ViewState& viewState, const DisplayOptions& options);
		void drawLines(const GL::ViewState& viewState, const DisplayOptions& options);
		void drawCircles(const GL::ViewState& viewState, const DisplayOptions& options, const std::vector<Eigen::Matrix4d>& transforms);
		/// One label per circle: its raw value, or its diameter when `raw` is null (raw scaling).
		void drawCircleLabels(const GL::ViewState& viewState, const DisplayOptions& options, const std::vector<Eigen::Matrix4d>& transforms,
		                      const std::vector<double>* raw);
		void drawNodeIndices(const GL::ViewState& viewState, const DisplayOptions& options);
		void renderLabel(const GL::ViewState& viewState, const Eigen::Vector3d& position, const std::string& text, double pixelOffset);
		static std::unique_ptr<GL::VertexBuffer> createCircleBuffer();

		const Graph* m_graph = nullptr;
		std::string m_name = "GlGraph";
		std::unique_ptr<GL::VertexBuffer> m_lines;
		std::unique_ptr<GL::VertexBuffer> m_points;
		std::unique_ptr<GL::VertexBuffer> m_circle;
	};
}
