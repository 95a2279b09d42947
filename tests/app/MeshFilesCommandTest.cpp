#include <cstdlib>
#include <fstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/lib/Mesh.h"
#include "host/lib/MeshIo.h"
#include "host/lib/PointCloud.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "synthetic/VoxelSurface.h"
#include "tests/app/ProgramTestSupport.h"

using namespace Quorvale;
using namespace ProgramTestSupport;
using ::testing::HasSubstr;

namespace
{
	// A directed chain a → b → c with diameters 0.25 and 0.75.
	const char* kGraphML = R"(<?xml version="1.0" encoding="utf-8"?>
<graphml xmlns="http://graphml.graphdrawing.org/xmlns">
    <key id="x" for="node" attr.name="x" attr.type="double"/>
    <key id="y" for="node" attr.name="y" attr.type="double"/>
    <key id="z" for="node" attr.name="z" attr.type="double"/>
    <key id="diameter" for="edge" attr.name="diameter" attr.type="double"/>
    <graph id="G" edgedefault="directed">
        <node id="a"><data key="x">1</data><data key="y">2</data><data key="z">3</data></node>
        <node id="b"><data key="x">4</data><data key="y">5</data><data key="z">6</data></node>
        <node id="c"><data key="x">7</data><data key="y">8</data><data key="z">9</data></node>
        <edge source="a" target="b"><data key="diameter">0.25</data></edge>
        <edge source="b" target="c"><data key="diameter">0.75</data></edge>
    </graph>
</graphml>
)";

	class MeshFilesCommandTest : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			const char* plugins = std::getenv("QUORVALE_PLUGIN_DIR");
			if (!plugins)
				GTEST_FAIL() << "QUORVALE_PLUGIN_DIR names the folder of the built graph plug-in";
			m_plugins = plugins;
			std::ofstream(folder.file("graph.graphml")) << kGraphML;
			// The surface of one voxel of 0.5 mm around node b: every corner is nearest to b.
			auto voxel = TypedImage<unsigned char>::create({1, 1, 1});
			voxel->setSpacing(Eigen::Vector3d::Constant(0.5));
			voxel->at(0, 0, 0) = 1;
			SharedImage image(std::move(voxel));
			Eigen::Matrix4d place = Eigen::Matrix4d::Identity();
			place.topRightCorner<3, 1>() = Eigen::Vector3d(4, 5, 6);
			image.setMatrixToWorld(place);
			MeshIo::save(*SyntheticVolumes::voxelSurfaceMesh(image), folder.file("vessels.ply"));
		}

		ProgramRun run(const std::string& arguments) { return runProgram(arguments, folder, m_plugins); }

		TemporaryFolder folder;
		std::string m_plugins;
	};
}

TEST_F(MeshFilesCommandTest, DiametersArePaintedOntoAMeshFileAndItTravelsThroughEveryFormat)
{
	auto result = run("run TransferGraphFeatureToMeshAlgorithm graph.graphml vessels.ply --set edgeFeatureName=diameter -o painted.ply");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(result.out, HasSubstr("'vessels' to painted.ply"));
	const auto painted = MeshIo::load(folder.file("painted.ply"));
	const auto& mesh = dynamic_cast<const Mesh&>(*painted);
	ASSERT_EQ(mesh.numberOfVertices(), 8);
	for (int v = 0; v < 8; ++v)
		EXPECT_EQ(mesh.vertexColor(v), Eigen::Vector4f(1, 0, 0, 1)) << v; // b carries the largest diameter

	for (const char* target : {"painted.qvf", "painted.obj", "painted.stl"})
	{
		result = run(std::string("convert painted.ply ") + target);
		ASSERT_EQ(result.exitCode, 0) << target << ": " << result.err;
	}
	result = run("convert painted.qvf again.ply");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_EQ(dynamic_cast<const Mesh&>(*MeshIo::load(folder.file("again.ply"))).vertexColors(), mesh.vertexColors());
}

TEST_F(MeshFilesCommandTest, NodesBecomePointCloudFiles)
{
	auto result = run("run GraphToPointCloud graph.graphml -o nodes.ply");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	const auto cloud = MeshIo::load(folder.file("nodes.ply"));
	EXPECT_EQ(dynamic_cast<const PointCloud&>(*cloud).points(), (std::vector<Eigen::Vector3d>{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}));

	result = run("convert nodes.ply nodes.stl");
	EXPECT_NE(result.exitCode, 0);
	EXPECT_THAT(result.err, HasSubstr("STL"));
}
