#include "host/lib/MeshIo.h"

#include "host/lib/Mesh.h"
#include "host/lib/PointCloud.h"
#include "host/lib/QuorvaleFile.h"

#include <Eigen/Geometry>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <tuple>

using namespace Quorvale;
namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace
{
	class MeshIoTest : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			std::random_device seed;
			m_dir = fs::temp_directory_path() / ("quorvale-mesh-" + std::to_string(seed()));
			fs::create_directories(m_dir);
		}
		void TearDown() override { fs::remove_all(m_dir); }

		std::string path(const std::string& name) const { return (m_dir / name).string(); }
		void writeText(const std::string& file, const std::string& text) const { std::ofstream(file, std::ios::binary) << text; }

		void expectLoadError(const std::string& file, const std::string& reason)
		{
			try
			{
				MeshIo::load(file);
				ADD_FAILURE() << "loading " << file << " did not fail";
			}
			catch (const std::runtime_error& e)
			{
				EXPECT_THAT(e.what(), HasSubstr(file));
				EXPECT_THAT(e.what(), HasSubstr(reason));
			}
		}

		fs::path m_dir;
	};

	// A tetrahedron placed by a matrix, with one vertex painted.
	Mesh tetrahedron()
	{
		Mesh mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}, "tet");
		Eigen::Matrix4d toWorld = Eigen::Matrix4d::Identity();
		toWorld.topRightCorner<3, 1>() = Eigen::Vector3d(10, -20, 0.5);
		mesh.setMatrixToWorld(toWorld);
		mesh.setVertexColor(1, {1, 0, 0}, 0.5f);
		return mesh;
	}

	// Triangles as sets of world positions, so that files that renumber their vertices compare equal.
	std::multiset<std::set<std::tuple<double, double, double>>> worldTriangles(const Mesh& mesh)
	{
		std::multiset<std::set<std::tuple<double, double, double>>> out;
		for (const Eigen::Vector3i& t : mesh.triangles())
		{
			std::set<std::tuple<double, double, double>> corners;
			for (int k = 0; k < 3; ++k)
			{
				const Eigen::Vector3d p = (mesh.matrixToWorld() * mesh.vertex(t[k]).homogeneous()).head<3>();
				corners.emplace(p.x(), p.y(), p.z());
			}
			out.insert(corners);
		}
		return out;
	}
}

TEST_F(MeshIoTest, MeshesComeBackInWorldCoordinatesInEveryFormat)
{
	const Mesh mesh = tetrahedron();
	for (const auto& [name, encoding] : {std::pair{"ascii.ply", PlyIo::Encoding::Ascii}, std::pair{"binary.ply", PlyIo::Encoding::Binary},
	                                     std::pair{"mesh.obj", PlyIo::Encoding::Binary}, std::pair{"mesh.STL", PlyIo::Encoding::Binary}})
	{
		MeshIo::save(mesh, path(name), encoding);
		const auto loaded = MeshIo::load(path(name));
		const auto* back = dynamic_cast<const Mesh*>(loaded.get());
		ASSERT_NE(back, nullptr) << name;
		EXPECT_EQ(back->numberOfVertices(), 4) << name; // OBJ and STL corners joined again
		EXPECT_EQ(back->matrixToWorld(), Eigen::Matrix4d::Identity()) << name;
		EXPECT_EQ(worldTriangles(*back), worldTriangles(mesh)) << name;
		EXPECT_EQ(back->name(), fs::path(name).stem().string());
		const bool ply = fs::path(name).extension() == ".ply";
		if (ply)
		{
			// uchar colours rounded to nearest: 0.5 is 128, not 127; the painted vertex keeps its index.
			ASSERT_TRUE(back->hasVertexColors()) << name;
			EXPECT_TRUE(back->vertexColor(1).isApprox(Eigen::Vector4f(1, 128 / 255.f, 128 / 255.f, 1))) << back->vertexColor(1).transpose();
			EXPECT_TRUE(back->vertexColor(0).isApprox(Eigen::Vector4f::Ones()));
		}
	}
}

TEST_F(MeshIoTest, PointCloudsArePlyFilesWithoutFaces)
{
	PointCloud cloud({{1, 2, 3}, {-4, 5.25, 6}}, 0, 0, "nodes");
	Eigen::Matrix4d scale = Eigen::Matrix4d::Identity();
	scale(0, 0) = 2.0;
	cloud.setMatrix(scale);
	for (auto encoding : {PlyIo::Encoding::Ascii, PlyIo::Encoding::Binary})
	{
		MeshIo::save(cloud, path("cloud.ply"), encoding);
		const auto loaded = MeshIo::load(path("cloud.ply"));
		const auto* back = dynamic_cast<const PointCloud*>(loaded.get());
		ASSERT_NE(back, nullptr);
		EXPECT_EQ(back->points(), (std::vector<Eigen::Vector3d>{{2, 2, 3}, {-8, 5.25, 6}}));
	}
	EXPECT_THROW(MeshIo::save(cloud, path("cloud.stl")), std::runtime_error);
	EXPECT_FALSE(fs::exists(path("cloud.stl")));
}

TEST_F(MeshIoTest, DamagedFilesAreRefusedWithTheReason)
{
	const std::string header = "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
	                           "element face 1\nproperty list uchar int vertex_indices\nend_header\n";
	struct Case
	{
		const char* name;
		std::string text;
		const char* reason;
	};
	for (const Case& c : {
	         Case{"index.ply", header + "0 0 0\n1 0 0\n0 1 0\n3 0 1 7\n", "refers to vertex 7"},
	         Case{"nan.ply", header + "0 0 0\nnan 0 0\n0 1 0\n3 0 1 2\n", "not finite"},
	         Case{"huge.ply",
	              "ply\nformat binary_little_endian 1.0\nelement vertex 2000000000\nproperty float x\nproperty float y\nproperty float z\nend_header\n" +
	                  std::string(24, '\0'),
	              "2000000000 vertex"},
	         Case{"short.ply", header + "0 0 0\n", "at least"},
	         Case{"type.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty quad x\nend_header\n0\n", "unknown property type"},
	         Case{"other.ply", "solid x\n", "'ply'"},
	         Case{"index.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n", ""},
	     })
	{
		writeText(path(c.name), c.text);
		expectLoadError(path(c.name), c.reason);
	}
}

TEST_F(MeshIoTest, WritingReplacesTheFileOnlyWhenAllowed)
{
	const Mesh mesh = tetrahedron();
	const std::string target = path("kept.ply");
	writeText(target, "old");
	fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
	EXPECT_THROW(MeshIo::save(mesh, target), std::runtime_error);
	EXPECT_EQ(fs::file_size(target), 3u);

	// A link is followed: the file it names is replaced and the link stays.
	fs::permissions(target, fs::perms::owner_all);
	fs::create_symlink(target, path("link.ply"));
	MeshIo::save(mesh, path("link.ply"));
	EXPECT_TRUE(fs::is_symlink(path("link.ply")));
	EXPECT_NE(dynamic_cast<Mesh*>(MeshIo::load(target).get()), nullptr);
	EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 2); // no temporary left
}

TEST_F(MeshIoTest, DataFilesKeepMeshesAndPointCloudsWhole)
{
	Mesh mesh = tetrahedron();
	PointCloud cloud({{1, 2, 3}}, 4, 5, "cloud");
	ASSERT_TRUE(QuorvaleFile::save(DataList{&mesh, &cloud}, path("both.qvf")));
	auto result = QuorvaleFile::load(path("both.qvf"));
	ASSERT_TRUE(result.ok());
	ASSERT_EQ(result.data.size(), 2);
	const auto* meshBack = dynamic_cast<const Mesh*>(result.data.get(0));
	const auto* cloudBack = dynamic_cast<const PointCloud*>(result.data.get(1));
	ASSERT_TRUE(meshBack && cloudBack);
	EXPECT_EQ(meshBack->vertices(), mesh.vertices());
	EXPECT_EQ(meshBack->triangles(), mesh.triangles());
	EXPECT_EQ(meshBack->matrixToWorld(), mesh.matrixToWorld());
	EXPECT_EQ(meshBack->vertexColors(), mesh.vertexColors());
	EXPECT_EQ(meshBack->baseColors(), mesh.baseColors());
	EXPECT_EQ(meshBack->name(), "tet");
	EXPECT_EQ(cloudBack->points(), cloud.points());
	EXPECT_EQ(std::make_pair(cloudBack->width(), cloudBack->height()), std::make_pair(4, 5));
}
