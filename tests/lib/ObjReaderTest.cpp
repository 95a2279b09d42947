#include "host/lib/ObjReader.h"

#include "host/lib/PointCloud.h"
#include "tests/common/ScopedEnvironment.h"
#include "tests/lib/MeshFileTest.h"

#include <string>

using namespace Quorvale;

namespace
{
	using ObjReaderTest = Testing::MeshFileTest;

	const std::string kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
	const std::vector<Eigen::Vector3d> kTriangleCorners = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
}

TEST_F(ObjReaderTest, LinesThatCannotBeReadAreRefusedNamingTheLine)
{
	std::string manyCorners = "f";
	for (int corner = 0; corner < 257; ++corner)
		manyCorners += " 1";
	expectRefused("damaged.obj",
	              {
	                  {"v abc 0 0\n" + kTriangle + "f 1 2 3\n", "line 1: 'abc' is not a number"},
	                  {"v 0 0 0 1 0 0 1\n" + kTriangle + "f 1 2 3\n", "line 1: 'v' takes 3, 4 or 6 numbers, the line holds 7"},
	                  {kTriangle + "vt\nf 1/1 2/1 3/1\n", "line 4: 'vt' takes 1 to 3 numbers, the line holds 0"},
	                  {kTriangle + "vn 0 1\nf 1//1 2//1 3//1\n", "line 4: 'vn' takes 3 numbers, the line holds 2"},
	                  // A vertex that is not finite was refused without naming its line.
	                  {"v 0 0 0\nv 1 nan 0\nv 0 1 0\nf 1 2 3\n", "line 2: vertex 2 lies at (1, nan, 0), which is not finite as a single-precision number"},
	                  {kTriangle + "v 0 0 1e39\nf 1 2 4\n", "line 4: vertex 4 lies at (0, 0, 1e+39)"},
	                  {kTriangle + "v 0 0 1 1 inf 1\nf 1 2 4\n", "line 4: the colour of vertex 4 is not finite"},
	                  {kTriangle + "vt 1 1\nf 1/2 2/1 3/1\n", "line 5: texture coordinate 2 is named, the file has 1"},
	                  {kTriangle + "f 1//1 2//1 3//1\n", "line 4: normal 1 is named, the file has 0"},
	                  {kTriangle + "f 1 2 9\n", "line 4: vertex 9 is named, the file has 3"},
	                  {kTriangle + "f 1 2 -4\n", "line 4: vertex -4 counts back past the first vertex"},
	                  {kTriangle + "f 1 2 0\n", "line 4: '0' is not an index of a vertex"},
	                  {kTriangle + "f 1 2 3x\n", "line 4: '3x' is not an index of a vertex"},
	                  {kTriangle + "f 1/1/1/1 2 3\n", "line 4: '1/1/1/1' is not a corner"},
	                  {kTriangle + "f\n", "line 4: 'f' without corners"},
	                  {kTriangle + "f 1 2 3\nl 1\n", "line 5: 'l' with one point, which is no line"},
	                  {kTriangle + std::string("f 1 2\0 3\n", 9), "line 4: it holds the control character 0x00"},
	                  {kTriangle + "f 1 2 \\\n3 \f\n", "line 4: it holds the control character 0x0c"},
	                  // A face of two million corners took minutes to triangulate.
	                  {kTriangle + manyCorners + "\n", "line 4: the face has more than the 256 corners a face may have"},
	              });
}

TEST_F(ObjReaderTest, CommentsMarksWeightsAndStatementsNotReadAreReadAsWritten)
{
	for (const std::string& file : {
	         // Line ends of other writers, lines joined, indices counted back, corners of every form,
	         // vertices, texture coordinates and normals listed after the face that names them.
	         std::string("v 0 0 0\rv 1 0 0\rv 0 1 0\rf 1 2 3\r"),
	         std::string("v 0 0 0\r\nv 1 0 0 \\\n 1\r\nv 0 1 0\r\nf -3 -2 -1\r\n"),
	         std::string("v 0 0 0 1 0 0\nv 1 0 0 2\nf 1/1/1 2/1/1 3/1/1\nvt 0 0\nvn 0 0 1\nv 0 1 0\n"),
	         // A comment after the numbers, a byte order mark, white space before a keyword and numbers
	         // without a digit before their point were refused or read wrongly.
	         std::string("\xEF\xBB\xBFv 0 0 0 # first\nv 1 0 0#second\n  v 0 1 0\nf 1 2 3 # face\n"),
	         std::string("v .0 0 -.0\nv 1. 0 0\nv 0 +1 0\nvt .5\nf 1/1 2/1 3/1\n"),
	         // Statements told by their first letter ("parm" taken for points), and a backslash before a lone "\r".
	         kTriangle + "vp 0.5\nparm u 0 1\nlod 1\nfo 1 2 3\nf 1 2 \\\r3\r",
	         // A weight divided the coordinates.
	         std::string("v 0 0 0 2\nv 1 0 0 0.5\nv 0 1 0 1\nf 1 2 3\n"),
	         // Objects, groups and materials in their thousands.
	         "o a\ng b c\n" + kTriangle + "usemtl red\ns 1\nmtllib none.mtl\nf -3 -2 -1\no d\n",
	     })
	{
		const Mesh mesh = readMesh("other.obj", file);
		EXPECT_EQ(mesh.vertices(), kTriangleCorners) << file;
		EXPECT_EQ(mesh.triangles(), (std::vector<Eigen::Vector3i>{{0, 1, 2}})) << file;
	}
}

TEST_F(ObjReaderTest, OnlyNamedVerticesAreKeptInTheFilesOrderAndJoinedAtOnePlace)
{
	// Vertex 2 is named by no face, vertex 5 is vertex 1's place, vertex 6 is named by a point only.
	const Mesh mesh = readMesh("named.obj", "v 0 0 0 1 0 0\nv 9 9 9\nv 1 0 0\nv 0 1 0 0 0 1\nv 0 0 0 0 1 0\nv 5 5 5\n"
	                                        "f 3 4 5\np 6\nf 1 3 -3\nl 4 3\nf 3 4\n");
	EXPECT_EQ(mesh.vertices(), (std::vector<Eigen::Vector3d>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}}));
	EXPECT_EQ(mesh.triangles(), (std::vector<Eigen::Vector3i>{{1, 2, 0}, {0, 1, 2}}));
	// A vertex without a colour is white; vertices joined keep the first one's.
	EXPECT_EQ(mesh.vertexColors(), (std::vector<Eigen::Vector4f>{{1, 0, 0, 1}, {1, 1, 1, 1}, {0, 0, 1, 1}, {1, 1, 1, 1}}));
	// A face of four corners is cut into two triangles, numbered as the vertices are kept.
	EXPECT_EQ(readMesh("square.obj", "v 9 9 9\n" + kTriangle + "v 1 1 0\n# a square\ng square\ns off\nf 2/ 3/ 5/ 4/\nl 2 3\n").triangles(),
	          (std::vector<Eigen::Vector3i>{{0, 1, 3}, {0, 3, 2}}));

	// Without faces: the points and lines named, joined; without any, every vertex as it stands.
	for (const auto& [file, points] : {std::pair{"v 0 0 0\nv 0 0 0\nv 1 0 0\nv 2 0 0\np 1 2\nl 2 3\n", 2},
	                                   std::pair{"v 0 0 0\nv 0 0 0\nv 1 0 0\n", 3}})
	{
		const auto cloud = read("points.obj", file);
		ASSERT_NE(dynamic_cast<const PointCloud*>(cloud.get()), nullptr) << file;
		EXPECT_EQ(dynamic_cast<const PointCloud&>(*cloud).numberOfPoints(), points) << file;
	}
}

TEST_F(ObjReaderTest, ObjectsGroupsAndMaterialsTakeNoMemoryOfTheirOwn)
{
	// 20000 material and face pairs took 4 kB each, and with the reader of the time gigabytes for 50000.
	std::string file = "mtllib parts.mtl\n" + kTriangle;
	for (int i = 0; i < 20000; ++i)
		file += "usemtl m" + std::to_string(i) + "\no o" + std::to_string(i) + "\ng g" + std::to_string(i) + "\nf 1 2 3\n";
	Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "1M");
	EXPECT_EQ(readMesh("materials.obj", file).numberOfFaces(), 20000);
}
