// Mesh files exchanged with meshio, which users' Python tools read and write: meshio must read
// what we write (vertices, faces, colours), and we must read what meshio writes.
#include "host/lib/Mesh.h"
#include "host/lib/MeshIo.h"
#include "host/lib/PointCloud.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using namespace Quorvale;
namespace fs = std::filesystem;

namespace
{
	struct Dump
	{
		std::vector<Eigen::Vector3d> points;
		std::vector<Eigen::Vector3i> triangles;
		std::vector<Eigen::Vector4i> colours;
	};

	// Runs the helper with Debian's own interpreter, where python3-meshio is installed.
	std::string runScript(const std::string& arguments)
	{
		const std::string command = std::string("/usr/bin/python3 '") + QUORVALE_MESH_INTEROP_SCRIPT + "' " + arguments + " 2>&1";
		std::string output;
		FILE* pipe = popen(command.c_str(), "r");
		if (!pipe)
			return "cannot start " + command;
		char buffer[4096];
		size_t count;
		while ((count = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
			output.append(buffer, count);
		const int status = pclose(pipe);
		EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
		return output;
	}

	Dump dump(const std::string& file)
	{
		Dump out;
		std::istringstream lines(runScript("dump '" + file + "'"));
		std::string tag;
		while (lines >> tag)
		{
			if (tag == "p")
			{
				Eigen::Vector3d p;
				lines >> p.x() >> p.y() >> p.z();
				out.points.push_back(p);
			}
			else if (tag == "t")
			{
				Eigen::Vector3i t;
				lines >> t.x() >> t.y() >> t.z();
				out.triangles.push_back(t);
			}
			else if (tag == "c")
			{
				Eigen::Vector4i c;
				lines >> c[0] >> c[1] >> c[2] >> c[3];
				out.colours.push_back(c);
			}
		}
		return out;
	}

	class MeshInteropTest : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			std::random_device seed;
			m_dir = fs::temp_directory_path() / ("quorvale-meshio-" + std::to_string(seed()));
			fs::create_directories(m_dir);
		}
		void TearDown() override { fs::remove_all(m_dir); }
		std::string path(const std::string& name) const { return (m_dir / name).string(); }
		fs::path m_dir;
	};
}

TEST_F(MeshInteropTest, MeshioReadsOurPlyFilesWithTheirColours)
{
	Mesh mesh({{0, 0, 0}, {1.25, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}, "tet");
	Eigen::Matrix4d toWorld = Eigen::Matrix4d::Identity();
	toWorld(2, 3) = -3.0;
	mesh.setMatrixToWorld(toWorld);
	mesh.setVertexColor(1, {1, 0, 0}, 0.5f);
	mesh.setVertexColor(2, {1, 0, 0}, 1.0f);
	for (auto encoding : {PlyIo::Encoding::Ascii, PlyIo::Encoding::Binary})
	{
		MeshIo::save(mesh, path("ours.ply"), encoding);
		const Dump read = dump(path("ours.ply"));
		ASSERT_EQ(read.points.size(), 4u);
		for (int i = 0; i < 4; ++i)
			EXPECT_EQ(read.points[static_cast<size_t>(i)], mesh.vertex(i) + Eigen::Vector3d(0, 0, -3)) << i;
		EXPECT_EQ(read.triangles, mesh.triangles());
		EXPECT_EQ(read.colours, (std::vector<Eigen::Vector4i>{{255, 255, 255, 255}, {255, 128, 128, 255}, {255, 0, 0, 255}, {255, 255, 255, 255}}));
	}

	MeshIo::save(PointCloud({{1, 2, 3}, {4, 5, 6}}, 0, 0, "cloud"), path("cloud.ply"));
	const Dump cloud = dump(path("cloud.ply"));
	EXPECT_EQ(cloud.points, (std::vector<Eigen::Vector3d>{{1, 2, 3}, {4, 5, 6}}));
	EXPECT_TRUE(cloud.triangles.empty());
}

TEST_F(MeshInteropTest, WeReadMeshioFiles)
{
	runScript("write '" + m_dir.string() + "'");
	for (const char* name : {"tet.ply", "tet-binary.ply", "tet.stl", "tet.obj"})
	{
		const auto loaded = MeshIo::load(path(name));
		const auto* mesh = dynamic_cast<const Mesh*>(loaded.get());
		ASSERT_NE(mesh, nullptr) << name;
		EXPECT_EQ(mesh->numberOfVertices(), 4) << name;
		EXPECT_EQ(mesh->numberOfFaces(), 4) << name;
		// Every face keeps its outward winding: the normals point away from the centre.
		const Eigen::Vector3d centre(0.25, 0.25, 0.25);
		for (const Eigen::Vector3i& t : mesh->triangles())
		{
			const Eigen::Vector3d a = mesh->vertex(t[0]), b = mesh->vertex(t[1]), c = mesh->vertex(t[2]);
			EXPECT_GT((b - a).cross(c - a).dot(a - centre), 0.0) << name;
		}
		if (std::string(name).find(".ply") != std::string::npos)
		{
			ASSERT_TRUE(mesh->hasVertexColors()) << name;
			EXPECT_TRUE(mesh->vertexColor(1).isApprox(Eigen::Vector4f(0, 128 / 255.f, 0, 1))) << name << " " << mesh->vertexColor(1).transpose();
		}
	}
}
