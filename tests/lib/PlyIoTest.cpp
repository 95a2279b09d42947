#include "host/lib/PlyIo.h"

#include "tests/lib/MeshFileTest.h"

#include <cstdint>
#include <string>

using namespace Quorvale;

namespace
{
	using PlyIoTest = Testing::MeshFileTest;

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

	/// A binary file of three vertices and one face whose corner list is `list`, its count `count`
	/// followed by the indices 0, 1, 2, in the byte order `format` names.
	std::string binary(const std::string& format, const std::string& list, int32_t count)
	{
		std::string out =
		    "ply\nformat " + format + " 1.0\n" + kVertices + "element face 1\nproperty " + list + " vertex_indices\nend_header\n";
		const bool big = format == "binary_big_endian";
		const auto put = [&](uint32_t word)
		{
			for (int k = 0; k < 4; ++k)
				out += static_cast<char>((word >> (8 * (big ? 3 - k : k))) & 0xff);
		};
		for (const uint32_t word : {0u, 0u, 0u, 0x3f800000u, 0u, 0u, 0u, 0x3f800000u, 0u})
			put(word);
		put(static_cast<uint32_t>(count));
		for (const uint32_t index : {0u, 1u, 2u})
			put(index);
		return out;
	}
}

TEST_F(PlyIoTest, FilesThatWouldBeReadWronglyOrWithoutBoundAreRefusedNamingTheFault)
{
	const std::string wholeFile = binary("binary_big_endian", "list int uint", 3);
	expectRefused(
	    "damaged.ply",
	    {
	        // Assimp read the missing face as [0, 1, 2], and values it cannot parse as 0.
	        {ascii(faces("uchar int", 2), kCorners + "3 0 1 2\n"), "the file ends before face 1 of 2"},
	        {ascii(kFace, kCorners + "3 0 1 abc\n"), "line 13: property 'vertex_indices' of face 0: 'abc' is not of type int"},
	        {ascii(kFace, kCorners + "3 0 1 nan\n"), "'nan' is not of type int"},
	        {ascii(kFace, kCorners + "3 0 1 1e30\n"), "'1e30' is not of type int"},
	        {ascii(kFace, "0 0 0\n1 0 x\n0 1 0\n3 0 1 2\n"), "line 11: property 'z' of vertex 1: 'x' is not a number"},
	        // A uchar count of 300 was read whole, the indices the line lacks as 0.
	        {ascii(kFace, kCorners + "300 0 1 2\n"), "'300' is not of type uchar (an integer from 0 to 255)"},
	        {ascii(faces("int int"), kCorners + "-5 0 1 2\n"), "the list 'vertex_indices' of face 0 declares -5 values"},
	        {ascii(faces("int int"), kCorners + "4 0 1 2\n"), "the list 'vertex_indices' of face 0 declares 4 values, the line holds 3"},
	        {ascii(kFace, kCorners + "3 0 1 2 7\n"), "face 0 holds more values than its properties take"},
	        {ascii(kFace, "0 0 0\n\n1 0 0\n0 1 0\n3 0 1 2\n"), "line 11: the line is empty where vertex 1 should be"},
	        {ascii(kFace, kCorners + "3 0 1 2\n3 0 1 2\n"), "line 14 follows the last record that the header declares"},
	        // A cut inside the last value leaves another value.
	        {ascii(kFace, kCorners + "3 0 1 12"), "the file ends inside line 13 (face 0), before its line break"},
	        // A file declaring too few vertices was refused for a face without corners.
	        {"ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\nproperty float z\n" + kFace + "end_header\n" +
	             kCorners + "3 0 1 2\n",
	         "the header declares 3 records (2 vertex, 1 face), one per line, but the body holds 4 lines"},
	        // A binary face of 2147483647 corners took 17 GB before it failed.
	        {binary("binary_little_endian", "list int int", 2147483647),
	         "the list 'vertex_indices' of face 0 of 1 declares 2147483647 values, the file holds 12 more bytes"},
	        {binary("binary_little_endian", "list int int", -5), "declares -5 values"},
	        {binary("binary_little_endian", "list int int", 0), "face 0 of 1 has no corners"},
	        // A big-endian file cut by a byte had its last index read as a value not in the file.
	        {wholeFile.substr(0, wholeFile.size() - 1),
	         "the list 'vertex_indices' of face 0 of 1 declares 3 values, the file holds 11 more bytes"},
	        {wholeFile + "\n", "1 bytes follow the last record that the header declares"},
	        // Assimp read a first byte 10 as the end of the header's line break, and the rest one byte off.
	        {binary("binary_big_endian", "list int uint", 3).replace(wholeFile.find("end_header\n") + 11, 1, "\n"),
	         "its binary data starts with a line break byte (0x0a)"},
	        // Strips were read as one triangle.
	        {ascii("element tristrips 1\nproperty list int int vertex_indices\n", kCorners + "6 0 1 2 0 1 2\n"),
	         "it holds triangle strips (element tristrips), which are not read"},
	        // Counts of other types than integers were read as the allocation's size.
	        {ascii(faces("float int"), kCorners + "-3.0 0 1 2\n"), "the count of a list must be an integer"},
	        // Faces of thousands of corners took minutes to triangulate.
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
	        // Assimp did not skip such records: the faces after them were read from them.
	        {ascii("element note 1\nproperty float q\n" + kFace, kCorners + "7\n3 0 1 2\n"),
	         "element 'note' is not read and must come after the vertices and faces"},
	    });
}

TEST_F(PlyIoTest, EveryCutOfAFileIsRefused)
{
	Mesh mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1.5}}, {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}, "tet");
	const std::string polygons = ascii(faces("uchar int", 2), kCorners + "3 0 1 2\n4 2 1 0 1\n");
	for (const std::string& file : {PlyIo::encode(mesh, PlyIo::Encoding::Ascii), PlyIo::encode(mesh, PlyIo::Encoding::Binary), polygons})
		for (size_t length = 0; length < file.size(); ++length)
			EXPECT_NE(refusal("cut.ply", file.substr(0, length)), "read") << length << " bytes of\n" << file;
}

TEST_F(PlyIoTest, FilesOtherWritersMakeAreRead)
{
	// Lines ended by "\r\n", and binary data whose first byte is 10.
	const auto crlfHeader = [](std::string file)
	{
		const size_t body = file.find("end_header\n") + 11;
		file[body] = '\n';
		for (size_t at = file.rfind('\n', body - 1); at != std::string::npos && at > 0; at = file.rfind('\n', at - 1))
			file.insert(at, "\r");
		return file;
	};
	expectRead("other.ply",
	           {
	               {ascii(kFace, "0 0 0\r\n1 0 0\r\n0 1 0\r\n3 0 1 2\r\n"), 1},
	               {ascii("element face 1\nproperty list uint8 int32 vertex_index\nproperty uchar flags\n", kCorners + "3 2 1 0 255\n"), 1},
	               {ascii(faces("uchar uint"), " 0\t0 0 \n1 0 +0\n-0 1 0.\n3 0 1 2\n"), 1},
	               {ascii(kFace + "element note 2\nproperty list uchar char q\n", kCorners + "3 0 1 2\n0\n2 -128 127\n\n"), 1},
	               {ascii("element edge 1\nproperty int vertex1\nproperty int vertex2\n" + kFace, kCorners + "0 1\n3 0 1 2\n"), 1},
	               {binary("binary_big_endian", "list int uint", 3), 1},
	               {crlfHeader(binary("binary_little_endian", "list int uint", 3)), 1},
	           });
}
