#include "host/lib/MeshIo.h"

#include "host/core/Log.h"
#include "host/lib/Mesh.h"
#include "host/lib/MeshFilePlugin.h"
#include "host/lib/PointCloud.h"
#include "host/lib/PointCloudFilePlugin.h"
#include "host/lib/QuorvaleFile.h"
#include "tests/common/ScopedEnvironment.h"
#include "tests/lib/MeshFileTest.h"

#include <Eigen/Geometry>
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <set>
#include <sstream>

#include <sys/stat.h>

using namespace Quorvale;
namespace fs = std::filesystem;

namespace
{
	using MeshIoTest = Testing::MeshFileTest;

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

	// The triangles' corners in world coordinates, in winding order from the smallest, sorted: files
	// that renumber their vertices compare equal.
	std::multiset<std::vector<double>> worldTriangles(const Mesh& mesh)
	{
		std::multiset<std::vector<double>> out;
		for (Eigen::Vector3i t : mesh.triangles())
		{
			std::rotate(t.data(), std::min_element(t.data(), t.data() + 3, [&](int a, int b) { return std::lexicographical_compare(
			    mesh.vertex(a).data(), mesh.vertex(a).data() + 3, mesh.vertex(b).data(), mesh.vertex(b).data() + 3); }), t.data() + 3);
			std::vector<double> corners;
			for (int k = 0; k < 3; ++k)
				for (int c = 0; c < 3; ++c)
					corners.push_back((mesh.matrixToWorld() * mesh.vertex(t[k]).homogeneous())[c]);
			out.insert(corners);
		}
		return out;
	}
}

TEST_F(MeshIoTest, MeshesAndPointCloudsComeBackInWorldCoordinatesInEveryFormat)
{
	const Mesh mesh = tetrahedron();
	for (const auto& [name, encoding] : {std::pair{"ascii.ply", PlyIo::Encoding::Ascii}, std::pair{"binary.ply", PlyIo::Encoding::Binary},
	                                     std::pair{"mesh.obj", PlyIo::Encoding::Binary}, std::pair{"mesh.STL", PlyIo::Encoding::Binary}})
	{
		MeshIo::save(mesh, path(name), encoding);
		const auto loaded = MeshIo::load(path(name));
		const auto& back = dynamic_cast<const Mesh&>(*loaded);
		EXPECT_EQ(back.numberOfVertices(), 4) << name; // OBJ and STL corners joined again
		EXPECT_EQ(worldTriangles(back), worldTriangles(mesh)) << name;
		// uchar colours rounded to nearest: 0.5 is 128, not 127; OBJ keeps them as written. The painted
		// vertex keeps its index.
		if (fs::path(name).extension() == ".ply")
		{
			EXPECT_TRUE(back.vertexColor(1).isApprox(Eigen::Vector4f(1, 128 / 255.f, 128 / 255.f, 1))) << back.vertexColor(1).transpose();
		}
		if (fs::path(name).extension() == ".obj")
		{
			EXPECT_EQ(back.vertexColors(), mesh.vertexColors());
		}
	}

	PointCloud cloud({{1, 2, 3}, {-4, 5.25, 6}}, 0, 0, "nodes");
	cloud.setMatrix(Eigen::Vector4d(2, 1, 1, 1).asDiagonal());
	for (auto encoding : {PlyIo::Encoding::Ascii, PlyIo::Encoding::Binary})
	{
		MeshIo::save(cloud, path("cloud.ply"), encoding);
		EXPECT_EQ(dynamic_cast<const PointCloud&>(*MeshIo::load(path("cloud.ply"))).points(),
		          (std::vector<Eigen::Vector3d>{{2, 2, 3}, {-8, 5.25, 6}}));
	}
	EXPECT_THROW(MeshIo::save(cloud, path("cloud.stl")), std::runtime_error);
}

TEST_F(MeshIoTest, DamagedFilesAreRefusedWithTheReason)
{
	const std::string header = "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
	                           "element face 1\nproperty list uchar int vertex_indices\nend_header\n";
	const std::string huge = "ply\nformat binary_little_endian 1.0\nelement vertex 2000000000\nproperty float x\nproperty float y\n"
	                         "property float z\nend_header\n" + std::string(24, '\0');
	for (const auto& [name, text, reason] : {
	         std::tuple{"index.ply", header + "0 0 0\n1 0 0\n0 1 0\n3 0 1 7\n", "refers to vertex 7"},
	         std::tuple{"nan.ply", header + "0 0 0\nnan 0 0\n0 1 0\n3 0 1 2\n", "not finite"},
	         std::tuple{"huge.ply", huge, "2000000000 vertex"},
	         std::tuple{"short.ply", header + "0 0 0\n", "at least"},
	         std::tuple{"type.ply", std::string("ply\nformat ascii 1.0\nelement vertex 1\nproperty quad x\nend_header\n0\n"), "unknown property type"},
	         std::tuple{"index.obj", std::string("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n"), ""},
	         std::tuple{"endless.ply", "ply\nformat ascii 1.0\n" + std::string(1 << 20, 'x'), "end_header"},
	         // Polygons with a corner out of range crashed the cutting of polygons; faces without corners too.
	         std::tuple{"polygon.ply", header + "0 0 0\n1 0 0\n0 1 0\n4 0 1 2 -5\n", "face 0 refers to vertex -5, there are 3"},
	         std::tuple{"corners.ply", header + "0 0 0\n1 0 0\n0 1 0\n0\n", "face 0 has no corners"},
	         // A text STL file without a facet was read as an empty point cloud; a long number was read as 0.
	         std::tuple{"empty.stl", std::string("solid a\nendsolid a\n"), "it holds no vertices"},
	         std::tuple{"long.stl", "solid a\nfacet normal 0 0 1\nouter loop\nvertex 1e" + std::string(20, '9') + " 0 0\n",
	                    "line 4: facet 0 has a corner that lies at (inf, 0, 0)"},
	         // Numbers on the next line are read: the file ends where the next corner should be.
	         std::tuple{"broken.stl", std::string("solid a\nfacet normal 0 0 1\nouter loop\nvertex 0\n0 0\n"),
	                    "line 5: 'vertex' expected, found ''"},
	     })
	{
		std::ofstream(path(name), std::ios::binary) << text;
		try
		{
			MeshIo::load(path(name));
			ADD_FAILURE() << name << " was read";
		}
		catch (const std::runtime_error& e)
		{
			EXPECT_THAT(e.what(), ::testing::AllOf(::testing::HasSubstr(path(name)), ::testing::HasSubstr(reason)));
		}
	}
}

TEST_F(MeshIoTest, WrittenFilesHoldTheVerticesInTheirOrderWithTheNormalsAndFacesReadersTake)
{
	Mesh mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 2, 1}, {0, 1, 3}}, "corner");
	mesh.setMatrixToWorld(Eigen::Matrix4d(Eigen::Affine3d(Eigen::Translation3d(1, 0, 0)).matrix()));
	MeshIo::save(mesh, path("corner.obj"));
	std::ifstream obj(path("corner.obj"));
	EXPECT_EQ(std::string(std::istreambuf_iterator<char>(obj), {}),
	          "# 4 vertices, 4 normals and 2 triangles\nv 1 0 0\nv 2 0 0\nv 1 1 0\nv 1 0 1\n"
	          "vn 0 -0.7071067811865475 -0.7071067811865475\nvn 0 -0.7071067811865475 -0.7071067811865475\nvn 0 0 -1\nvn 0 -1 0\n"
	          "f 1//1 3//3 2//2\nf 1//1 2//2 4//4\n");

	MeshIo::save(mesh, path("corner.stl"));
	std::ifstream in(path("corner.stl"), std::ios::binary);
	const std::string stl(std::istreambuf_iterator<char>(in), {});
	ASSERT_EQ(stl.size(), 84u + 2 * 50);
	// A header starting with "solid" makes readers take the file for text.
	EXPECT_NE(stl.substr(0, 5), "solid");
	float facet[12];
	std::memcpy(facet, stl.data() + 84, sizeof(facet));
	EXPECT_EQ(std::vector<float>(facet, facet + 12), (std::vector<float>{0, 0, -1, 1, 0, 0, 1, 1, 0, 2, 0, 0}));
}

TEST_F(MeshIoTest, AnObjFileIsReadWithoutTheMaterialLibraryItNames)
{
	// Reading a pipe named as the material library waited for it forever.
	ASSERT_EQ(::mkfifo(path("pipe.mtl").c_str(), 0600), 0);
	std::ofstream(path("named.obj")) << "mtllib pipe.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\n";
	EXPECT_EQ(dynamic_cast<const Mesh&>(*MeshIo::load(path("named.obj"))).numberOfFaces(), 1);
}

TEST_F(MeshIoTest, WritingReplacesTheFileOnlyWhenAllowed)
{
	const std::string target = path("kept.ply");
	std::ofstream(target) << "old";
	fs::permissions(target, fs::perms::owner_read);
	EXPECT_THROW(MeshIo::save(tetrahedron(), target), std::runtime_error);
	EXPECT_EQ(fs::file_size(target), 3u);

	// A link is followed: the file it names is replaced, the link stays, no temporary file is left.
	fs::permissions(target, fs::perms::owner_all);
	fs::create_symlink(target, path("link.ply"));
	MeshIo::save(tetrahedron(), path("link.ply"));
	EXPECT_TRUE(fs::is_symlink(path("link.ply")));
	EXPECT_EQ(dynamic_cast<const Mesh&>(*MeshIo::load(target)).numberOfFaces(), 4);
	EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 2);
}

TEST_F(MeshIoTest, DataFilesKeepMeshesAndPointCloudsWhole)
{
	Mesh mesh = tetrahedron();
	PointCloud cloud({{1, 2, 3}}, 4, 5, "cloud");
	ASSERT_TRUE(QuorvaleFile::save(DataList{&mesh, &cloud}, path("both.qvf")));
	auto result = QuorvaleFile::load(path("both.qvf"));
	ASSERT_TRUE(result.ok());
	const auto& meshBack = dynamic_cast<const Mesh&>(*result.data.get(0));
	const auto& cloudBack = dynamic_cast<const PointCloud&>(*result.data.get(1));
	EXPECT_EQ(std::tie(meshBack.vertices(), meshBack.triangles(), meshBack.vertexColors(), meshBack.baseColors(), meshBack.name()),
	          std::tie(mesh.vertices(), mesh.triangles(), mesh.vertexColors(), mesh.baseColors(), mesh.name()));
	EXPECT_EQ(meshBack.matrixToWorld(), mesh.matrixToWorld());
	EXPECT_EQ(std::make_tuple(cloudBack.points(), cloudBack.width(), cloudBack.height()), std::make_tuple(cloud.points(), 4, 5));
}

TEST_F(MeshIoTest, EveryReaderRefusesWhatWouldNotFitInTheMemoryLimitNamingTheAmount)
{
	std::vector<Eigen::Vector3d> points;
	std::string obj;
	for (int i = 0; i < 50000; ++i)
	{
		points.emplace_back(i, 0, 0);
		obj += "v " + std::to_string(i) + " 0 0\n";
	}
	std::string stl = "solid a\n";
	for (int i = 0; i < 6000; ++i)
		stl += fmt::format("facet normal 0 0 1\nouter loop\nvertex {0} 0 0\nvertex {0} 1 0\nvertex {0} 0 1\nendloop\nendfacet\n", i);
	PointCloud cloud(points, 0, 0, "cloud");
	MeshIo::save(cloud, path("cloud.ply"));
	write("points.obj", obj);
	write("facets.stl", stl + "endsolid a\n");
	Mesh mesh(points, {{0, 1, 2}}, "mesh");
	ASSERT_TRUE(QuorvaleFile::save(DataList{&mesh, &cloud}, path("both.qvf")));

	// A binary STL file is refused by its count alone (StlIoTest).
	Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "1M");
	for (const auto& [name, reason] :
	     {std::pair{"cloud.ply", "its 50000 vertices and 0 faces would need 1.4 MB of memory, more than the 1.05 MB available"},
	      std::pair{"points.obj", "its 50000 vertices and 0 faces would need 1.4 MB of memory"},
	      std::pair{"facets.stl", "its 6000 facets would need 1.39 MB of memory"}})
		EXPECT_THAT(refusal(name), ::testing::HasSubstr(reason)) << name;
	std::vector<std::string> problems;
	for (const QuorvaleFile::Problem& problem : QuorvaleFile::load(path("both.qvf")).problems)
		problems.push_back(problem.message);
	EXPECT_THAT(problems, ::testing::ElementsAre(
	                          ::testing::HasSubstr("Its 50000 vertices would need 5.67 MB of memory, more than the 1.05 MB available"),
	                          ::testing::HasSubstr("Its 50000 points would need 2.47 MB of memory")));
}

TEST_F(MeshIoTest, WhatWouldNotReadBackIsNotWrittenAndTheReasonIsGiven)
{
	const double nan = std::numeric_limits<double>::quiet_NaN();
	const Mesh empty;
	const Mesh lone({{0, 0, 0}}, {}, "lone");
	const Mesh withNan({{0, 0, 0}, {nan, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, "nan");
	Mesh far({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, "far");
	far.setMatrixToWorld(Eigen::Vector4d(1e39, 1, 1, 1).asDiagonal());
	const PointCloud noPoints;
	const PointCloud nanPoints({{0, 0, 0}, {nan, 0, 0}}, 0, 0, "nan");
	for (const auto& [data, name, reason] : {
	         // An empty graph's point cloud was written as a file of no points, which no reader takes.
	         std::tuple<const Data*, const char*, const char*>{&noPoints, "empty.ply", "the point cloud has no points"},
	         {&nanPoints, "nan.ply", "point 1 is not finite (nan, 0, 0)"},
	         // An empty mesh failed in the writer without a reason.
	         {&empty, "empty.stl", "the mesh has no vertices"},
	         {&lone, "lone.stl", "the mesh has no triangles, and an STL file holds nothing else"},
	         // Every vertex of a mesh with one that is not finite was written as "v nan nan nan".
	         {&withNan, "nan.obj", "vertex 1 is not finite (nan, 0, 0)"},
	         {&far, "far.ply", "vertex 1 lies at (1e+39, 0, 0) in world coordinates, which a file's numbers cannot hold"},
	     })
	{
		write(name, "old");
		const auto save = [saved = data, file = path(name)] { MeshIo::save(*saved, file); };
		EXPECT_THAT(save,
		            ::testing::ThrowsMessage<std::runtime_error>(::testing::HasSubstr("Cannot write '" + path(name) + "': " + reason)));
		EXPECT_EQ(fs::file_size(path(name)), 3u) << name;
	}
}

TEST_F(MeshIoTest, DataFilesNeitherWriteNorReadPointsThatAreNotFinite)
{
	const double nan = std::numeric_limits<double>::quiet_NaN(), seven = 7.0;
	const MeshFilePlugin meshPlugin;
	const PointCloudFilePlugin cloudPlugin;
	Mesh mesh({{0, 0, 0}, {0, 7, 0}, {0, 1, 0}}, {{0, 1, 2}}, "mesh"), meshBack;
	PointCloud cloud({{0, 7, 0}}, 0, 0, "cloud"), cloudBack;
	for (const auto& [plugin, data, back, reason] : {
	         std::tuple<const QuorvaleFilePlugin*, Data*, Data*, const char*>{&meshPlugin, &mesh, &meshBack,
	                                                                          "Mesh block: vertex 1 is not finite (0, nan, 0)"},
	         {&cloudPlugin, &cloud, &cloudBack, "Point cloud block: point 0 is not finite (0, nan, 0)"},
	     })
	{
		// The body as a damaged or foreign file holds it: the coordinate 7 is NaN.
		std::ostringstream out;
		ASSERT_TRUE(plugin->write(*data, out));
		std::string body = out.str();
		const std::size_t at = body.find(std::string(reinterpret_cast<const char*>(&seven), sizeof seven));
		ASSERT_NE(at, std::string::npos);
		body.replace(at, sizeof nan, reinterpret_cast<const char*>(&nan), sizeof nan);
		std::istringstream in(body);
		Log::ScopedCapture log;
		EXPECT_FALSE(plugin->load(body.size(), *back, in));
		EXPECT_THAT(log.sink().messages(Log::Error), ::testing::ElementsAre(reason));
	}

	mesh = Mesh({{0, 0, 0}, {0, nan, 0}, {0, 1, 0}}, {{0, 1, 2}}, "nan");
	cloud = PointCloud({{0, 0, std::numeric_limits<double>::infinity()}}, 0, 0, "inf");
	for (Data* data : std::initializer_list<Data*>{&mesh, &cloud})
	{
		Log::ScopedCapture log;
		EXPECT_FALSE(QuorvaleFile::save(DataList{data}, path("nan.qvf")));
		EXPECT_THAT(log.sink().messages(Log::Error), ::testing::Contains(::testing::HasSubstr("is not finite")));
	}
}
