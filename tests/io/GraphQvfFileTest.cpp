#include "host/core/Log.h"
#include "host/lib/QuorvaleFile.h"
#include "src/graph/GlGraphDisplayOptions.h"
#include "src/graph/Graph.h"
#include "src/io/GraphQuorvaleFilePlugin.h"
#include "src/plugin/GraphPlugin.h"
#include "tests/io/GraphQvfTestUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>

using namespace Quorvale;
using namespace Quorvale::GraphQvfTest;

namespace
{
	/// The graph block handler comes from the plug-in's `init`, as in the program.
	void initPluginOnce()
	{
		static const bool done = []
		{
			GraphPlugin plugin;
			return plugin.init() == PluginBase::Success;
		}();
		ASSERT_TRUE(done);
	}

	class GraphQvfFileTest : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			initPluginOnce();
			std::random_device device;
			m_folder =
			    std::filesystem::temp_directory_path() / ("quorvale-graph-qvf-" + std::to_string(device()) + std::to_string(device()));
			std::filesystem::create_directories(m_folder);
		}
		void TearDown() override
		{
			std::error_code ignored;
			std::filesystem::remove_all(m_folder, ignored);
		}
		std::string path(const std::string& name) const { return (m_folder / name).string(); }

		std::filesystem::path m_folder;
	};

	const Graph& graphAt(const QuorvaleFile::LoadResult& result, int index) { return dynamic_cast<const Graph&>(*result.data.get(index)); }

	bool hasError(const QuorvaleFile::LoadResult& result, const std::string& part)
	{
		return std::any_of(result.problems.begin(), result.problems.end(),
		                   [&](const auto& p) { return p.level == Log::Error && p.message.find(part) != std::string::npos; });
	}
}

TEST_F(GraphQvfFileTest, ThePluginRegistersTheGraphBlockHandler)
{
	const Graph graph;
	const auto* handler = dynamic_cast<const GraphQuorvaleFilePlugin*>(QuorvaleFile::pluginFor(graph));
	ASSERT_NE(handler, nullptr);
	EXPECT_EQ(handler->blockType(graph), 158323u);
}

TEST_F(GraphQvfFileTest, SeveralGraphsWithNamesAndDisplayOptionsRoundTrip)
{
	Graph vessels = sampleGraph();
	vessels.setName("Vessels");
	auto* options = vessels.components().get<GlGraph::DisplayOptions>();
	ASSERT_NE(options, nullptr);
	options->generalOptions->pointSize = 3.5;
	options->generalOptions->lineColor = Eigen::Vector4d(0.25, 0.5, 0.75, 1);
	options->featureCircleOptions->featureName = std::optional<std::string>("length");
	options->featureCircleOptions->scalingMode = GlGraph::DisplayOptions::FeatureCircleOptions::ScalingMode::Logarithmic;
	options->featureColorMapOptions->colormap = GlColormap::Preset::Viridis;

	Graph tree(Graph::Type::Directed, Graph::Dimension::TwoD);
	tree.setName("Tree, directed");
	tree.addNode(Graph::NodeInfo(Eigen::Vector3d(1, 1, 0), {}));
	tree.addNode(Graph::NodeInfo(Eigen::Vector3d(2, 1, 0), {}));
	tree.addEdge(2, 1, Graph::EdgeInfo({4.0}));

	ASSERT_TRUE(QuorvaleFile::save({&vessels, &tree}, path("graphs.qvf")));
	Log::ScopedCapture log;
	auto result = QuorvaleFile::load(path("graphs.qvf"));
	ASSERT_TRUE(result.ok());
	ASSERT_EQ(result.data.size(), 2);
	EXPECT_EQ(log->count(Log::Warning) + log->count(Log::Error), 0);

	const Graph& first = graphAt(result, 0);
	EXPECT_EQ(first.name(), "Vessels");
	expectSameGraph(vessels, first);
	const auto* loadedOptions = first.components().get<GlGraph::DisplayOptions>();
	ASSERT_NE(loadedOptions, nullptr);
	EXPECT_EQ(first.components().size(), 1);
	EXPECT_TRUE(*loadedOptions == *options);
	EXPECT_EQ(loadedOptions->generalOptions->pointSize.value(), 3.5);
	EXPECT_EQ(loadedOptions->featureColorMapOptions->colormap.value(), GlColormap::Preset::Viridis);

	const Graph& second = graphAt(result, 1);
	EXPECT_EQ(second.name(), "Tree, directed");
	expectSameGraph(tree, second);
	EXPECT_TRUE(*second.components().get<GlGraph::DisplayOptions>() == GlGraph::DisplayOptions());
}

TEST_F(GraphQvfFileTest, ADamagedGraphFileLoadsItsIntactGraphsAndFails)
{
	Graph a = sampleGraph();
	Graph b;
	b.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	std::ostringstream out;
	ASSERT_TRUE(QuorvaleFile::write({&a, &b}, out));
	const std::string file = out.str();

	Log::ScopedCapture log;
	for (size_t cut = 0; cut < file.size(); ++cut)
	{
		std::istringstream in(file.substr(0, cut));
		QuorvaleFile::LoadResult result;
		ASSERT_NO_THROW(result = QuorvaleFile::read(in)) << cut;
		EXPECT_FALSE(result.ok()) << cut;
		EXPECT_LE(result.data.size(), 2) << cut;
	}
}

TEST_F(GraphQvfFileTest, AGraphBlockWithAnIntactChecksumButBadContentIsNamed)
{
	// A body whose edge names a node that is not stored, framed correctly by hand.
	Graph graph;
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	graph.addNode(Graph::NodeInfo(Eigen::Vector3d::Zero(), {}));
	graph.addEdge(1, 2, Graph::EdgeInfo());
	std::ostringstream body;
	ASSERT_TRUE(GraphQuorvaleFilePlugin().write(graph, body));
	std::string bytes = body.str();
	bytes[bytes.size() - 4 - 8 - 8] = 9;

	std::ostringstream file;
	file << QuorvaleFile::kMagic << std::string("\1\0\0\0", 4);
	QuorvaleFile::writeBlock(file, 158323, {std::string("\0\0\0\0", 4), bytes});
	QuorvaleFile::writeBlock(file, QuorvaleFile::kEndMarkType, {std::string("\1\0\0\0\0\0\0\0", 8)});

	Log::ScopedCapture log;
	std::istringstream in(file.str());
	auto result = QuorvaleFile::read(in, "hand-made.qvf");
	EXPECT_FALSE(result.ok());
	EXPECT_EQ(result.data.size(), 0);
	EXPECT_TRUE(hasError(result, "hand-made.qvf: block 1 (type 158323) could not be read"));
	const auto errors = log->messages(Log::Error);
	EXPECT_NE(std::find(errors.begin(), errors.end(), "Edge refers to unknown node 9 (edge 1 to 9)"), errors.end());
}
