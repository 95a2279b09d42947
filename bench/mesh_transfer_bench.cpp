// Painting diameters onto the voxel-face surface of a 512³ synthetic vessel tree (about a million
// vertices) from its true centreline graph, step by step: the vertex normals, the node index, the
// radius queries of all vertices (parallel, as the transfer runs them) and the whole transfer; the
// queries also against a brute-force scan on 10⁴ vertices. Then the point-cloud extraction of 100
// graphs of 10⁴ nodes.
#include "src/algorithms/GraphToPointCloudAlgorithm.h"
#include "src/algorithms/TransferGraphFeatureToMeshAlgorithm.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "host/lib/AlgorithmRunner.h"
#include "host/lib/Mesh.h"
#include "host/lib/NearestNeighborSearch.h"
#include "host/lib/SharedImageSet.h"
#include "synthetic/GraphGeometry.h"
#include "synthetic/VesselTree.h"
#include "synthetic/VoxelSurface.h"

using namespace Quorvale;

namespace
{
	struct Scene
	{
		Graph graph;
		std::unique_ptr<Mesh> mesh;
		std::vector<Eigen::Vector3d> nodes;
		double radius = 0.0;
	};

	const Scene& scene()
	{
		static const Scene built = []
		{
			SyntheticVessels::TreeSettings settings;
			settings.dimensions = Eigen::Vector3i::Constant(512);
			settings.loops = 0;
			settings.spurs = 0;
			const auto tree = SyntheticVessels::createVesselTree(settings);
			Scene s;
			s.graph = SyntheticVessels::centerlineGraph(tree);
			s.mesh = SyntheticVolumes::voxelSurfaceMesh(*tree.labels->get());
			s.mesh->computeVertexNormals(Mesh::VertexAngle);
			double largest = 0.0;
			s.graph.forEachEdge([&](const Graph::EdgeInfo& e, uint64_t, uint64_t) { largest = std::max(largest, e.features()[0]); });
			s.graph.forEachNode([&](uint64_t, const Graph::NodeInfo& n) { s.nodes.push_back(n.position()); });
			s.radius = double(0.9f) * largest;
			return s;
		}();
		return built;
	}

	/// The first node behind vertex i among `candidates` (nearest first), or -1.
	int firstBehind(const Scene& s, int i, const std::vector<int>& candidates)
	{
		for (int j : candidates)
			if ((s.nodes[static_cast<size_t>(j)] - s.mesh->vertex(i)).dot(s.mesh->vertexNormal(i)) <= 0.0)
				return j;
		return -1;
	}

	void setCounters(benchmark::State& state)
	{
		state.counters["vertices"] = scene().mesh->numberOfVertices();
		state.counters["nodes"] = static_cast<double>(scene().nodes.size());
	}

	void BM_VertexNormals(benchmark::State& state)
	{
		Mesh mesh = *scene().mesh;
		for (auto _ : state)
			mesh.computeVertexNormals(Mesh::VertexAngle);
		setCounters(state);
	}
	BENCHMARK(BM_VertexNormals)->Unit(benchmark::kMillisecond);

	void BM_NodeIndex(benchmark::State& state)
	{
		for (auto _ : state)
		{
			NearestNeighborSearch search;
			search.buildIndex(scene().nodes);
			benchmark::DoNotOptimize(search.size());
		}
		setCounters(state);
	}
	BENCHMARK(BM_NodeIndex)->Unit(benchmark::kMillisecond);

	void BM_RadiusQueriesAllVertices(benchmark::State& state)
	{
		const Scene& s = scene();
		NearestNeighborSearch search;
		search.buildIndex(s.nodes);
		const int count = s.mesh->numberOfVertices();
		std::vector<int> found(static_cast<size_t>(count));
		for (auto _ : state)
		{
#pragma omp parallel for schedule(dynamic, 1024)
			for (int i = 0; i < count; ++i)
				found[static_cast<size_t>(i)] = firstBehind(s, i, search.findNearestNeighborsRadius(s.mesh->vertex(i), s.radius));
			benchmark::DoNotOptimize(found.data());
		}
		setCounters(state);
	}
	BENCHMARK(BM_RadiusQueriesAllVertices)->Unit(benchmark::kMillisecond)->UseRealTime();

	// The first 10⁴ vertices, on one thread: the k-d tree against a scan of every node.
	constexpr int kSample = 10000;

	void BM_RadiusQueriesKdTree10k(benchmark::State& state)
	{
		const Scene& s = scene();
		NearestNeighborSearch search;
		search.buildIndex(s.nodes);
		for (auto _ : state)
			for (int i = 0; i < kSample; ++i)
				benchmark::DoNotOptimize(firstBehind(s, i, search.findNearestNeighborsRadius(s.mesh->vertex(i), s.radius)));
	}
	BENCHMARK(BM_RadiusQueriesKdTree10k)->Unit(benchmark::kMillisecond);

	void BM_RadiusQueriesBruteForce10k(benchmark::State& state)
	{
		const Scene& s = scene();
		std::vector<std::pair<double, int>> within;
		std::vector<int> ordered;
		for (auto _ : state)
			for (int i = 0; i < kSample; ++i)
			{
				within.clear();
				for (int j = 0; j < static_cast<int>(s.nodes.size()); ++j)
					if (const double d = (s.nodes[static_cast<size_t>(j)] - s.mesh->vertex(i)).norm(); d <= s.radius)
						within.emplace_back(d, j);
				std::sort(within.begin(), within.end());
				ordered.clear();
				for (const auto& [d, j] : within)
					ordered.push_back(j);
				benchmark::DoNotOptimize(firstBehind(s, i, ordered));
			}
	}
	BENCHMARK(BM_RadiusQueriesBruteForce10k)->Unit(benchmark::kMillisecond);

	void BM_WholeTransfer(benchmark::State& state)
	{
		Graph graph = scene().graph;
		Mesh mesh = *scene().mesh;
		for (auto _ : state)
		{
			TransferGraphFeatureToMeshAlgorithm algorithm(graph, mesh);
			algorithm.edgeFeatureName = "diameter";
			benchmark::DoNotOptimize(AlgorithmRunner::run(algorithm));
		}
		setCounters(state);
	}
	BENCHMARK(BM_WholeTransfer)->Unit(benchmark::kMillisecond)->UseRealTime();

	void BM_PointCloudsOf100Graphs(benchmark::State& state)
	{
		std::vector<Graph> graphs(100);
		std::vector<Graph*> inputs;
		std::mt19937_64 random(3);
		std::uniform_real_distribution<double> coordinate(-100.0, 100.0);
		for (Graph& graph : graphs)
		{
			for (int n = 0; n < 10000; ++n)
				graph.addNode(Graph::NodeInfo({coordinate(random), coordinate(random), coordinate(random)}, {}));
			inputs.push_back(&graph);
		}
		GraphToPointCloudAlgorithm algorithm(inputs);
		for (auto _ : state)
		{
			AlgorithmRunner::run(algorithm);
			benchmark::DoNotOptimize(algorithm.takeOutput());
		}
	}
	BENCHMARK(BM_PointCloudsOf100Graphs)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK_MAIN();
