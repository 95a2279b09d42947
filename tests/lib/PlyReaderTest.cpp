#include "host/lib/PlyReader.h"

#include "host/lib/PlyIo.h"
#include "host/lib/PointCloud.h"
#include "tests/common/ScopedEnvironment.h"
#include "tests/lib/MeshFileTest.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

using namespace Quorvale;

namespace
{
	using PlyReaderTest = Testing::MeshFileTest;

	const std::string kVertices = "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n";

	/// An ASCII file of three vertices and the faces `faceHeader` declares, with `body`.
	std::string ascii(const std::string& faceHeader, const std::string& body)
	{
		return "ply\nformat ascii 1.0\n" + kVertices + faceHeader + "end_header\n" + body;
	}

	/// The header lines of `count` faces whose corner list is of the types `list`.
	std::string faces(const std::string& list, int count = 1)
	{
		return "element face " + std::to_string(count) + "\nproperty list " + list + " vertex_indices\n";
	}

	const std::string kFace = faces("uchar int");
	const std::string kCorners = "0 0 0\n1 0 0\n0 1 0\n";

	/// `values` as `type` names them ("uchar", "float64", ...), in the byte order `format` names.
	std::string binaryValues(const std::string& format, const std::string& type, std::initializer_list<double> values)
	{
		std::string out;
		for (const double value : values)
		{
			const auto store = [&](auto typed)
			{
				std::string bytes(sizeof(typed), '\0');
				std::memcpy(bytes.data(), &typed, sizeof(typed));
				if (format == "binary_big_endian")
					std::reverse(bytes.begin(), bytes.end());
				out += bytes;
			};
			if (type == "char" || type == "int8")
				store(static_cast<int8_t>(value));
			else if (type == "uchar" || type == "uint8")
				store(static_cast<uint8_t>(value));
			else if (type == "short" || type == "int16")
				store(static_cast<int16_t>(value));
			else if (type == "ushort" || type == "uint16")
				store(static_cast<uint16_t>(value));
			else if (type == "int" || type == "int32")
				store(static_cast<int32_t>(value));
			else if (type == "uint" || type == "uint32")
				store(static_cast<uint32_t>(value));
			else if (type == "float" || type == "float32")
				store(static_cast<float>(value));
			else
				store(value);
		}
		return out;
	}

	/// A file of three vertices, their coordinates of type `scalar`, and one face whose corner list
	/// is of the types `countType` and `indexType`, in `format`; in a binary file the list declares
	/// `count` values, followed by 0, 1 and 2.
	std::string triangle(const std::string& format, const std::string& scalar = "float", const std::string& countType = "int",
	                     const std::string& indexType = "uint", double count = 3)
	{
		std::string out = "ply\nformat " + format + " 1.0\nelement vertex 3\nproperty " + scalar + " x\nproperty " + scalar + " y\nproperty " +
		                  scalar + " z\n" + faces(countType + " " + indexType) + "end_header\n";
		if (format == "ascii")
			return out + kCorners + "3 0 1 2\n";
		return out + binaryValues(format, scalar, {0, 0, 0, 1, 0, 0, 0, 1, 0}) + binaryValues(format, countType, {count}) +
		       binaryValues(format, indexType, {0, 1, 2});
	}

	/// `text` with every line ended by "\r\n".
	std::string crlf(std::string text)
	{
		for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
			text.insert(at, "\r");
		return text;
	}

	const std::vector<Eigen::Vector3d> kTriangleCorners = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
}

TEST_F(PlyReaderTest, FilesThatCannotBeReadAsTheyStandAreRefusedNamingTheFault)
{
	const std::string wholeFile = triangle("binary_big_endian");
	expectRefused(
	    "damaged.ply",
	    {
	        {ascii(faces("uchar int", 2), kCorners + "3 0 1 2\n"), "the file ends before face 1 of 2"},
	        {ascii(kFace, kCorners + "3 0 1 abc\n"), "line 13: property 'vertex_indices' of face 0: 'abc' is not of type int"},
	        {ascii(kFace, kCorners + "3 0 1 nan\n"), "'nan' is not of type int"},
	        {ascii(kFace, kCorners + "3 0 1 1e30\n"), "'1e30' is not of type int"},
	        {ascii(kFace, "0 0 0\n1 0 x\n0 1 0\n3 0 1 2\n"), "line 11: property 'z' of vertex 1: 'x' is not a number"},
	        {ascii(kFace, kCorners + "300 0 1 2\n"), "'300' is not of type uchar (an integer from 0 to 255)"},
	        {ascii(faces("int int"), kCorners + "-5 0 1 2\n"), "the list 'vertex_indices' of face 0 declares -5 values"},
	        {ascii(faces("int int"), kCorners + "4 0 1 2\n"), "the list 'vertex_indices' of face 0 declares 4 values, the line holds 3"},
	        {ascii(kFace, kCorners + "3 0 1 2 7\n"), "face 0 holds more values than its properties take"},
	        {ascii(kFace, "0 0 0\n\n1 0 0\n0 1 0\n3 0 1 2\n"), "line 11: the line is empty where vertex 1 should be"},
	        {ascii(kFace, kCorners + "3 0 1 2\n3 0 1 2\n"), "line 14 follows the last record that the header declares"},
	        // A cut inside the last value leaves another value.
	        {ascii(kFace, kCorners + "3 0 1 12"), "the file ends inside line 13 (face 0), before its line break"},
	        {"ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\nproperty float z\n" + kFace + "end_header\n" +
	             kCorners + "3 0 1 2\n",
	         "the header declares 3 records (2 vertex, 1 face), one per line, but the body holds 4 lines"},
	        {ascii(kFace, kCorners + "3 0 1 7\n"), "face 0 refers to vertex 7, there are 3"},
	        {ascii(kFace, "0 0 0\n1 0 inf\n0 1 0\n3 0 1 2\n"), "vertex 1 lies at (1, 0, inf), which is not finite as a single-precision number"},
	        {"ply\nformat ascii 1.0\nelement vertex 1\nproperty double x\nproperty double y\nproperty double z\nend_header\n0 -1e300 0\n",
	         "vertex 0 lies at (0, -1e+300, 0), which is not finite as a single-precision number"},
	        {"ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\nproperty float red\n" + kFace +
	             "end_header\n0 0 0 nan\n1 0 0 1\n0 1 0 1\n3 0 1 2\n",
	         "the colour of vertex 0 is not finite"},
	        // A binary face of 2147483647 corners took 17 GB before it failed.
	        {triangle("binary_little_endian", "float", "int", "int", 2147483647),
	         "the list 'vertex_indices' of face 0 of 1 declares 2147483647 values, the file holds 12 more bytes"},
	        {triangle("binary_little_endian", "float", "int", "int", -5), "declares -5 values"},
	        {triangle("binary_little_endian", "float", "int", "int", 0), "face 0 of 1 has no corners"},
	        {wholeFile.substr(0, wholeFile.size() - 1),
	         "the list 'vertex_indices' of face 0 of 1 declares 3 values, the file holds 11 more bytes"},
	        {wholeFile + "\n", "1 bytes follow the last record that the header declares"},
	        {ascii("element tristrips 1\nproperty list int int vertex_indices\n", kCorners + "6 0 1 2 0 1 2\n"),
	         "it holds triangle strips (element tristrips), which are not read"},
	        {ascii(faces("float int"), kCorners + "-3.0 0 1 2\n"), "line 8: the count of a list must be an integer"},
	        // Faces of thousands of corners took minutes to cut into triangles.
	        {ascii(faces("uint int"), kCorners + "20000 0 1 2\n"), "face 0 has 20000 corners, more than the 256 a face may have"},
	        {ascii(faces("uint int"), kCorners + "4294967295 0 1 2\n"), "face 0 has 4294967295 corners"},
	        // Records of nothing passed the size check, and were read for minutes.
	        {std::string("ply\nformat ascii 1.0\nelement vertex 3000000000\nend_header\n"),
	         "element 'vertex' declares 3000000000 records without properties"},
	        {std::string("ply\nformat ascii 1.0\nelement vertex 1\nproperty list uint float x\nproperty float y\nproperty float z\n"
	                     "end_header\n2000000000 0\n"),
	         "element 'vertex' has no scalar property 'x'"},
	        {ascii("element face 1\nproperty list uchar int vertex_idx\n", kCorners + "3 0 1 2\n"),
	         "element 'face' needs one list of integers named 'vertex_indices'"},
	        {ascii(faces("uchar float"), kCorners + "3 0 1 2\n"), "element 'face' needs one list of integers named 'vertex_indices'"},
	        {ascii(kFace + kFace, kCorners + "3 0 1 2\n3 0 1 2\n"), "element 'face' is declared twice"},
	    });
}

TEST_F(PlyReaderTest, HeaderLinesThatReadersCouldTakeTwoWaysAreRefusedNamingTheLine)
{
	const std::string body = kCorners + "3 0 1 2\n";
	expectRefused(
	    "header.ply",
	    {
	        // The first format decided the records for one reader, the last for the other: minutes, gigabytes or made-up vertices.
	        {"ply\nformat ascii 1.0\nformat binary_little_endian 1.0\n" + kVertices + kFace + "end_header\n" + body,
	         "line 3: a second format line (the first is line 2)"},
	        {"ply\nformat binary_big_endian 1.0\n" + kVertices + kFace + "comment\nformat ascii 1.0\nend_header\n" + body,
	         "line 10: a second format line (the first is line 2)"},
	        // The last of two properties of one name was read, and the first taken for its size.
	        {"ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float y\nproperty float z\n" + kFace +
	             "end_header\n0 0 0 0\n1 0 0 0\n0 1 0 0\n3 0 1 2\n",
	         "line 6: property 'y' of element 'vertex' is declared twice"},
	        // A line break one reader sees and another does not.
	        {"ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\rproperty float y\nproperty float z\n" + kFace + "end_header\n" + body,
	         "line 4: it holds the control character 0x0d"},
	        {"ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty\ffloat y\nproperty float z\n" + kFace + "end_header\n" + body,
	         "line 5: it holds the control character 0x0c"},
	        {"ply\nformat ascii 1.0\ncomment made\vby hand\n" + kVertices + kFace + "end_header\n" + body,
	         "line 3: it holds the control character 0x0b"},
	        {"ply\r\nformat ascii 1.0\r\n" + kVertices + kFace + "end_header\r\r\n" + body, "line 9: it holds the control character 0x0d"},
	        {std::string("ply\nformat ascii 1.0\nelement vertex 3\0\nproperty float x\n", 41), "line 3: it holds the control character 0x00"},
	    });
}

TEST_F(PlyReaderTest, FilesOfOtherWritersAreReadAsWritten)
{
	const std::string le = "binary_little_endian", be = "binary_big_endian";
	const auto corners = [](const std::string& format) { return binaryValues(format, "float", {0, 0, 0, 1, 0, 0, 0, 1, 0}); };
	const auto face = [](const std::string& format) { return binaryValues(format, "int", {3}) + binaryValues(format, "uint", {0, 1, 2}); };
	// Binary data that starts with a byte 10, after a header ended by "\n" or by "\r\n".
	const std::string lineBreakFirst = "ply\nformat binary_little_endian 1.0\nelement note 1\nproperty uchar q\n" + kVertices +
	                                   faces("int uint") + "end_header\n";
	const std::string lineBreakData = "\n" + corners(le) + face(le);
	std::vector<std::string> files = {
	    // White space, signs and points as writers put them; other names of types and lists, and
	    // properties no reader needs.
	    ascii(faces("uchar uint"), " 0\t0 0 \n1 0 +0\n-0 1 0.\n3 0 1 2\n"),
	    ascii("element face 1\nproperty list uint8 int32 vertex_index\nproperty uchar flags\n", kCorners + "3 0 1 2 255\n"),
	    crlf(ascii(kFace, kCorners + "3 0 1 2\n")),
	    lineBreakFirst + lineBreakData,
	    crlf(lineBreakFirst) + lineBreakData,
	    // Comments between properties ended one reader's list of them: y and z were read as 0.
	    "ply\ncomment before the format\nformat ascii 1.0\nelement vertex 3\nproperty float x\ncomment between\nproperty float y\n"
	    "obj_info between\nproperty float z\n" + kFace + "end_header\n" + kCorners + "3 0 1 2\n",
	    "ply\nformat binary_big_endian 1.0\nelement vertex 3\nproperty float x\ncomment between\nproperty float y\nobj_info\n"
	    "property float z\n" + faces("int uint") + "end_header\n" + corners(be) + face(be),
	    // Faces before vertices, and elements no reader needs before, between and after them, skipped
	    // by their types; blank lines after the last record.
	    "ply\nformat ascii 1.0\nelement note 2\nproperty list uchar char q\nproperty double w\n" + kFace + kVertices +
	        "element edge 1\nproperty int vertex1\nproperty int vertex2\nend_header\n0 5\n2 -128 127 -1.5\n3 0 1 2\n" + kCorners + "0 1\n\n \n",
	    "ply\nformat binary_little_endian 1.0\nelement note 1\nproperty list uchar char q\nproperty short w\n" + faces("int uint") +
	        kVertices + "end_header\n" + std::string("\2\1\2\3\0", 5) + face(le) + corners(le),
	};
	// Every scalar and list type, under either of its names, in every format.
	const std::vector<std::string> scalars = {"char", "uchar", "short", "ushort", "int", "uint", "float", "double", "int8", "float64"};
	const std::vector<std::string> integers = {"char", "uchar", "short", "ushort", "int", "uint", "uint8", "int32"};
	for (const std::string& format : {std::string("ascii"), le, be})
		for (size_t k = 0; k < scalars.size(); ++k)
			files.push_back(triangle(format, scalars[k], integers[k % integers.size()], integers[(k + 3) % integers.size()]));
	for (const std::string& file : files)
	{
		const Mesh mesh = readMesh("other.ply", file);
		EXPECT_EQ(mesh.vertices(), kTriangleCorners) << file;
		EXPECT_EQ(mesh.triangles(), (std::vector<Eigen::Vector3i>{{0, 1, 2}})) << file;
	}
}

TEST_F(PlyReaderTest, ColoursAreScaledFromTheirTypesRangeAndFacesCutAlongTheirInside)
{
	// Every vertex is kept, the one no face uses too; channels missing are 0, alpha 1.
	const std::string header = "ply\nformat ascii 1.0\nelement vertex 6\nproperty float x\nproperty float y\nproperty float z\n";
	const std::string arrow = "0 0 0 {0}\n2 0 0 {1}\n2 2 0 {0}\n1 0.5 0 {1}\n0 2 0 {0}\n7 7 7 {0}\n";
	for (const auto& [properties, values, colour0, colour1] : {
	         std::tuple{"property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n", std::pair{"0 51 255 255", "255 0 102 0"},
	                    Eigen::Vector4f(0, 0.2f, 1, 1), Eigen::Vector4f(1, 0, 0.4f, 0)},
	         std::tuple{"property float r\nproperty float g\nproperty float b\n", std::pair{"0.25 0 1", "1 0.5 0"},
	                    Eigen::Vector4f(0.25f, 0, 1, 1), Eigen::Vector4f(1, 0.5f, 0, 1)},
	         std::tuple{"property ushort green\nproperty char a\n", std::pair{"65535 127", "0 -128"}, Eigen::Vector4f(0, 1, 0, 1),
	                    Eigen::Vector4f(0, 0, 0, 0)},
	     })
	{
		const Mesh mesh = readMesh("colours.ply", header + properties + "element face 1\nproperty list uchar int vertex_indices\nend_header\n" +
		                                              fmt::format(arrow, values.first, values.second) + "5 0 1 2 3 4\n");
		ASSERT_EQ(mesh.numberOfVertices(), 6);
		EXPECT_TRUE(mesh.vertexColor(0).isApprox(colour0, 1e-6f)) << mesh.vertexColor(0).transpose();
		EXPECT_TRUE(mesh.vertexColor(1).isApprox(colour1, 1e-6f)) << mesh.vertexColor(1).transpose();
		// The arrow's tip (vertex 3) points inwards: no triangle may span the notch above it.
		EXPECT_EQ(mesh.triangles(), (std::vector<Eigen::Vector3i>{{1, 2, 3}, {3, 4, 0}, {3, 0, 1}}));
	}
}

TEST_F(PlyReaderTest, FacesOfOneOrTwoCornersAreDroppedAndAFileOfNoTriangleIsAPointCloud)
{
	const auto cloud = read("lines.ply", ascii(faces("uchar int", 2), kCorners + "2 0 1\n1 2\n"));
	ASSERT_NE(dynamic_cast<const PointCloud*>(cloud.get()), nullptr);
	EXPECT_EQ(dynamic_cast<const PointCloud&>(*cloud).points(), kTriangleCorners);
	EXPECT_EQ(readMesh("mixed.ply", ascii(faces("uchar int", 2), kCorners + "2 0 1\n3 2 1 0\n")).triangles(),
	          (std::vector<Eigen::Vector3i>{{2, 1, 0}}));
}

TEST_F(PlyReaderTest, TheMemoryEstimateOfEachFaceShapeIsTheLimitItIsReadAt)
{
	// 3000 vertices on a circle and 1000 faces of consecutive corners: 56 bytes per vertex, 12 per
	// triangle made, a polygon's corners and 8 bytes while it waits to be cut, and 192 kB for
	// reading the lines.
	for (const auto& [corners, estimate, said] : {std::tuple{3, 376608, "377 kB"}, std::tuple{4, 412608, "413 kB"}, std::tuple{6, 444608, "445 kB"}})
	{
		std::string file = fmt::format("ply\nformat ascii 1.0\nelement vertex 3000\nproperty float x\nproperty float y\nproperty float z\n"
		                               "element face 1000\nproperty list uchar int vertex_indices\nend_header\n");
		for (int v = 0; v < 3000; ++v)
			file += fmt::format("{} {} 0\n", std::cos(v * 0.002), std::sin(v * 0.002));
		for (int f = 0; f < 1000; ++f)
		{
			file += std::to_string(corners);
			for (int k = 0; k < corners; ++k)
				file += " " + std::to_string((3 * f + k) % 3000);
			file += "\n";
		}
		write("shape.ply", file);
		{
			Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", std::to_string(estimate - 1));
			EXPECT_THAT(refusal("shape.ply"), ::testing::HasSubstr(std::string("its 3000 vertices and 1000 faces would need ") + said));
		}
		Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", std::to_string(estimate));
		EXPECT_EQ(refusal("shape.ply"), "read") << corners << " corners";
	}
}

TEST_F(PlyReaderTest, EveryCutOfAFileIsRefused)
{
	Mesh mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1.5}}, {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}, "tet");
	const std::string polygons = ascii(faces("uchar int", 2), kCorners + "3 0 1 2\n4 2 1 0 1\n");
	for (const std::string& file : {PlyIo::encode(mesh, PlyIo::Encoding::Ascii), PlyIo::encode(mesh, PlyIo::Encoding::Binary), polygons})
		for (size_t length = 0; length < file.size(); ++length)
			EXPECT_NE(refusal("cut.ply", file.substr(0, length)), "read") << length << " bytes of\n" << file;
}
