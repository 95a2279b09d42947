#include "host/lib/StlIo.h"

#include "tests/common/ScopedEnvironment.h"
#include "tests/lib/MeshFileTest.h"

#include <cstdint>
#include <string>

using namespace Quorvale;

namespace
{
	using StlIoTest = Testing::MeshFileTest;

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
}

TEST_F(StlIoTest, AFileThatIsNeitherTextNorBinaryIsRefusedNamingItsCount)
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
	        // 2^31 + 2 facets take as many bytes as 2 in the 32-bit arithmetic that tells binary files.
	        {binary("made by a writer", 2147483650u, 2), "declares 2147483650 facets, which take 107374182584 bytes"},
	    });
}

TEST_F(StlIoTest, JoinedCornersCountWhenTheMostTheyCouldTakeExceedsTheLimit)
{
	// 4000 facets take 1.26 MB, and 6.74 MB more with 12000 distinct corners, 1.7 kB with 3.
	Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "4M");
	EXPECT_EQ(dynamic_cast<const Mesh&>(*MeshIo::load(write("shared.stl", binary("", 4000, 4000, true)))).numberOfVertices(), 3);
	EXPECT_THAT(refusal("apart.stl", binary("", 4000, 4000)),
	            ::testing::HasSubstr("its 4000 facets would need 8 MB of memory, more than the 4.19 MB available"));
}
