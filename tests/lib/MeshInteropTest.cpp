// Mesh files exchanged with meshio, which users' Python tools read and write: meshio must read
// what we write (vertices, faces, colours), and we must read what meshio writes.
#include "host/lib/Mesh.h"
#include "host/lib/MeshIo.h"
#include "host/lib/PointCloud.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

using namespace Quorvale;
namespace fs = std::filesystem;

namespace
{
	class MeshInteropTest : public ::testing::Test
	{
	protected:
		void SetUp() override { fs::create_directories(m_dir); }
		void TearDown() override { fs::remove_all(m_dir); }
		std::string path(const std::string& name) const { return (m_dir / name).string(); }

		// Runs the helper with Debian's own interpreter, where python3-meshio is installed.
		std::string runScript(const std::string& command, const std::string& argument)
		{
			const std::string line = std::string("/usr/bin/python3 '") + QUORVALE_MESH_INTEROP_SCRIPT + "' " + command + " '" + argument + "' 2>&1";
			std::string output;
			FILE* pipe = popen(line.c_str(), "r");
			char buffer[4096];
			for (size_t count; pipe && (count = fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
				output.append(buffer, count);
			const int status = pipe ? pclose(pipe) : -1;
			EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
			return output;
		}

		fs::path m_dir = fs::temp_directory_path() / ("quorvale-meshio-" + std::to_string(std::random_device()()));
	};
}

TEST_F(MeshInteropTest, MeshioReadsOurPlyFilesWithTheirColoursAndWeReadItsFiles)
{
	Mesh mesh({{0, 0, 0}, {1.25, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}, "tet");
	mesh.setMatrixToWorld(Eigen::Affine3d(Eigen::Translation3d(0, 0, -3)).matrix());
	mesh.setVertexColor(1, {1, 0, 0}, 0.5f);
	mesh.setVertexColor(2, {1, 0, 0}, 1.0f);
	for (auto encoding : {PlyIo::Encoding::Ascii, PlyIo::Encoding::Binary})
	{
		MeshIo::save(mesh, path("ours.ply"), encoding);
		EXPECT_EQ(runScript("dump", path("ours.ply")), "p 0 0 -3\np 1.25 0 -3\np 0 1 -3\np 0 0 -2\nt 0 2 1\nt 0 1 3\nt 0 3 2\nt 1 2 3\n"
		                                               "c 255 255 255 255\nc 255 128 128 255\nc 255 0 0 255\nc 255 255 255 255\n");
	}
	MeshIo::save(PointCloud({{1, 2, 3}, {4, 5, 6}}, 0, 0, "cloud"), path("cloud.ply"));
	EXPECT_EQ(runScript("dump", path("cloud.ply")), "p 1 2 3\np 4 5 6\n");

	runScript("write", m_dir.string());
	for (const char* name : {"tet.ply", "tet-binary.ply", "tet.stl", "tet.obj"})
	{
		const auto loaded = MeshIo::load(path(name));
		const auto& theirs = dynamic_cast<const Mesh&>(*loaded);
		EXPECT_EQ(std::make_pair(theirs.numberOfVertices(), theirs.numberOfFaces()), std::make_pair(4, 4)) << name;
		// Every face keeps its outward winding: its normal points away from the centre.
		for (const Eigen::Vector3i& t : theirs.triangles())
		{
			const Eigen::Vector3d a = theirs.vertex(t[0]), b = theirs.vertex(t[1]), c = theirs.vertex(t[2]);
			EXPECT_GT((b - a).cross(c - a).dot(a - Eigen::Vector3d::Constant(0.25)), 0.0) << name;
		}
		if (fs::path(name).extension() == ".ply")
		{
			EXPECT_TRUE(theirs.vertexColor(1).isApprox(Eigen::Vector4f(0, 128 / 255.f, 0, 1))) << name;
		}
	}
}
