#include <cstdlib>
#include <fstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include "host/lib/Mesh.h"
#include "host/lib/MeshIo.h"
#include "host/lib/PointCloud.h"
#include "host/lib/SharedImage.h"
#include "host/lib/TypedImage.h"
#include "synthetic/VoxelSurface.h"
#include "tests/app/ProgramTestSupport.h"

using namespace Quorvale;
using namespace ProgramTestSupport;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace
{
	/// A directed chain a → b → c with diameters 0.25 and 0.75 (graph.graphml), the same chain with
	/// every diameter 0, as the extraction leaves it (raw.graphml), an edge without features
	/// (bare.graphml); the surface of one voxel of 0.5 mm around node b (vessels.ply), whose corners
	/// are all nearest to b.
	class MeshFilesCommandTest : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			ASSERT_TRUE(plugins) << "QUORVALE_PLUGIN_DIR names the folder of the built graph plug-in";
			std::ofstream(folder.file("graph.graphml")) << chain("diameter", "0.25", "0.75");
			std::ofstream(folder.file("raw.graphml")) << chain("diameter", "0", "0");
			std::ofstream(folder.file("bare.graphml")) << R"(<graphml xmlns="http://graphml.graphdrawing.org/xmlns">
<graph id="G" edgedefault="directed"><node id="a"/><node id="b"/><edge source="a" target="b"/></graph></graphml>)";
			auto voxel = TypedImage<unsigned char>::create({1, 1, 1});
			voxel->setSpacing(Eigen::Vector3d::Constant(0.5));
			voxel->at(0, 0, 0) = 1;
			SharedImage image(std::move(voxel));
			image.setMatrixToWorld(Eigen::Affine3d(Eigen::Translation3d(4, 5, 6)).matrix());
			MeshIo::save(*SyntheticVolumes::voxelSurfaceMesh(image), folder.file("vessels.ply"));
		}

		static std::string chain(const std::string& feature, const std::string& first, const std::string& second)
		{
			const std::string data = "<data key=\"" + feature + "\">";
			return R"(<graphml xmlns="http://graphml.graphdrawing.org/xmlns">
<key id="x" for="node" attr.name="x" attr.type="double"/><key id="y" for="node" attr.name="y" attr.type="double"/>
<key id="z" for="node" attr.name="z" attr.type="double"/><key id=")" +
			       feature + R"(" for="edge" attr.name=")" + feature + R"(" attr.type="double"/>
<graph id="G" edgedefault="directed">
<node id="a"><data key="x">1</data><data key="y">2</data><data key="z">3</data></node>
<node id="b"><data key="x">4</data><data key="y">5</data><data key="z">6</data></node>
<node id="c"><data key="x">7</data><data key="y">8</data><data key="z">9</data></node>
<edge source="a" target="b">)" + data + first + R"(</data></edge><edge source="b" target="c">)" + data + second + R"(</data></edge>
</graph></graphml>)";
		}

		ProgramRun run(const std::string& arguments) { return runProgram(arguments, folder, plugins); }

		const char* plugins = std::getenv("QUORVALE_PLUGIN_DIR");
		TemporaryFolder folder;
	};
}

TEST_F(MeshFilesCommandTest, MeshesArePaintedConvertedAndNodesExtractedFromFiles)
{
	// The painted mesh is written, not the graph that painted it.
	auto result = run("run TransferGraphFeatureToMeshAlgorithm graph.graphml vessels.ply --set edgeFeatureName=diameter -o painted.ply");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(result.out, ::testing::HasSubstr("Wrote mesh 'vessels' to painted.ply"));
	const auto painted = MeshIo::load(folder.file("painted.ply"));
	const auto& mesh = dynamic_cast<const Mesh&>(*painted);
	EXPECT_EQ(mesh.vertexColors(), std::vector<Eigen::Vector4f>(8, Eigen::Vector4f(1, 0, 0, 1))); // b has the largest diameter

	for (const char* target : {"painted.qvf", "painted.obj", "painted.stl"})
		EXPECT_EQ(run(std::string("convert painted.ply ") + target).exitCode, 0) << target;
	ASSERT_EQ(run("convert painted.qvf again.ply").exitCode, 0);
	EXPECT_EQ(dynamic_cast<const Mesh&>(*MeshIo::load(folder.file("again.ply"))).vertexColors(), mesh.vertexColors());

	result = run("run GraphToPointCloud graph.graphml -o nodes.ply");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_EQ(dynamic_cast<const PointCloud&>(*MeshIo::load(folder.file("nodes.ply"))).points(),
	          (std::vector<Eigen::Vector3d>{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));
}

TEST_F(MeshFilesCommandTest, AnUnmeasuredGraphLeavesTheMeshWhichIsWrittenInEitherOrder)
{
	const auto white = std::vector<Eigen::Vector4f>(8, Eigen::Vector4f::Ones());
	for (const std::string inputs : {"raw.graphml vessels.ply", "vessels.ply raw.graphml"})
		for (const std::string output : {"left.ply", "left.qvf"})
		{
			const auto result = run("run TransferGraphFeatureToMeshAlgorithm " + inputs + " --set edgeFeatureName=diameter -o " + output);
			ASSERT_EQ(result.exitCode, 0) << inputs << " -o " << output << ": " << result.err;
			EXPECT_THAT(result.out, AllOf(HasSubstr("Left mesh 'vessels' (vessels.ply) unchanged"), HasSubstr("Wrote mesh 'vessels' to " + output)))
			    << inputs;
			EXPECT_THAT(result.err, HasSubstr("The largest diameter is 0")) << inputs;
		}
	const auto left = MeshIo::load(folder.file("left.ply"));
	EXPECT_EQ(dynamic_cast<const Mesh&>(*left).vertexColors(), white);
}

TEST_F(MeshFilesCommandTest, TheTransferRefusesOutputsAndGraphsItCannotServe)
{
	for (const auto& [arguments, message] : std::initializer_list<std::pair<const char*, const char*>>{
	         {"graph.graphml vessels.ply -o painted.graphml", "changes its mesh input in place, which cannot be written to 'painted.graphml'"},
	         {"bare.graphml vessels.ply -o painted.ply", "failed with status 1 (failed): the graph has no edge feature 'diameter'"},
	     })
	{
		const auto result = run(std::string("run TransferGraphFeatureToMeshAlgorithm --set edgeFeatureName=diameter ") + arguments);
		EXPECT_EQ(result.exitCode, 1) << arguments;
		EXPECT_THAT(result.err, HasSubstr(message)) << arguments;
	}
	EXPECT_THAT(folder.fileNames(), ElementsAre("bare.graphml", "graph.graphml", "raw.graphml", "vessels.ply"));
}
