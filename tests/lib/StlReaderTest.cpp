#include "host/lib/StlReader.h"

#include "tests/common/ScopedEnvironment.h"
#include "tests/lib/MeshFileTest.h"

#include <cstdint>
#include <string>

using namespace Quorvale;

namespace
{
	using StlReaderTest = Testing::MeshFileTest;

	/// A binary file whose 80-byte header starts with `title` and whose count says `declared`,
	/// holding `facets` facets; facet f has the corners (f, 0, 0), (f, 1, 0) and (f, 0, 1), or
	/// those of facet 0 when `shared`.
	std::string binary(const std::string& title, uint32_t declared, uint32_t facets, bool shared = false)
	{
		std::string out = title + std::string(80 - title.size(), ' ');
		const auto put = [&](const void* bytes, size_t size) { out.append(static_cast<const char*>(bytes), size); };
		put(&declared, 4);
		for (uint32_t f = 0; f < facets; ++f)
		{
			const float x = shared ? 0.0f : static_cast<float>(f);
			const float values[12] = {0, 0, 1, x, 0, 0, x, 1, 0, x, 0, 1};
			put(values, sizeof(values));
			out += std::string(2, '\0');
		}
		return out;
	}

	const std::string kFacet = "facet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\n";
}

TEST_F(StlReaderTest, FilesThatAreNeitherBinaryNorTextFacetsAreRefusedNamingTheFault)
{
	expectRefused(
	    "damaged.stl",
	    {
	        // A binary file whose header starts with "solid" was refused for a control character.
	        {binary("solid made by a writer", 3, 2),
	         "it starts with 'solid' as a text STL file does, but holds the byte 0x03 at offset 80, and as a binary STL file, its "
	         "header declares 3 facets, which take 234 bytes, but the file has 184"},
	        {binary("made by a writer", 1, 2),
	         "as a binary STL file, its header declares 1 facets, which take 134 bytes, but the file has 184"},
	        {std::string("sol"), "a binary STL file takes at least 84 bytes, the file has 3"},
	        // 2^31 + 2 facets took as many bytes as 2 in 32-bit arithmetic.
	        {binary("made by a writer", 2147483650u, 2), "declares 2147483650 facets, which take 107374182584 bytes"},
	        // Text is refused naming its line.
	        {"solid a\n" + kFacet + "facet normal 0 0 1\nouter\nvertex 0 0 0\n", "line 11: 'loop' expected, found 'vertex'"},
	        {"solid a\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0x1\n", "line 4: a number expected, found '0x1'"},
	        {"solid a\nfacet normal 0 0 1\nouter loop\nvertex 0 0 1e39\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\n",
	         "line 4: facet 0 has a corner that lies at (0, 0, 1e+39), which is not finite as a single-precision number"},
	        {"solid a\n" + kFacet, "the file ends before 'endsolid'"},
	        {"solid a\n" + kFacet + "endsolid a\nsolid", "the file ends before 'endsolid'"},
	        {"solid a\n" + kFacet + "vertex 0 0 0\nendsolid a\n", "line 9: 'facet' or 'endsolid' expected, found 'vertex'"},
	        {"solid a\nfacet normal 0 0 1\n\1\n", "line 3: it holds the control character 0x01"},
	    });
}

TEST_F(StlReaderTest, TextIsReadWhateverItsWhiteSpaceAndNumbers)
{
	for (const std::string& file : {
	         // Numbers on the next line were refused, long ones read as 0.
	         std::string("solid a\nfacet normal\n0 0 1\nouter loop\nvertex\t0 0\n0\nvertex 1000000000000000000000e-21 0 0\nvertex 0 1 0 endloop\n"
	         "endfacet\nendsolid a\n"),
	         "  solid  facet vertex endsolid\r\n" + kFacet + "endsolid\r\nsolid b\r\nendsolid b",
	     })
	{
		const Mesh mesh = readMesh("text.stl", file);
		EXPECT_EQ(mesh.vertices(), (std::vector<Eigen::Vector3d>{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})) << file;
		EXPECT_EQ(mesh.triangles(), (std::vector<Eigen::Vector3i>{{0, 1, 2}})) << file;
	}
}

TEST_F(StlReaderTest, CornersAtOnePlaceAreJoinedWithinTheEstimateOfTheirFacets)
{
	// Per facet 12 bytes for its triangle, 48 for its corners as vertices and their copy, and a
	// table of 4 bytes per slot, at least twice as many as the corners; 64 kB for reading the
	// file: 820608 bytes for 4000 facets.
	for (const bool shared : {true, false})
	{
		write("facets.stl", binary("", 4000, 4000, shared));
		{
			Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "820607");
			EXPECT_THAT(refusal("facets.stl"), ::testing::HasSubstr("its 4000 facets would need 821 kB of memory"));
		}
		Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "820608");
		const Mesh mesh = readMesh("facets.stl", binary("", 4000, 4000, shared));
		EXPECT_EQ(mesh.numberOfVertices(), shared ? 3 : 12000);
		EXPECT_EQ(mesh.triangles()[3999], shared ? Eigen::Vector3i(0, 1, 2) : Eigen::Vector3i(11997, 11998, 11999));
	}
}
