#include "host/core/Utils/Version.h"

#include <gtest/gtest.h>

namespace Quorvale::Utils
{
	TEST(VersionTest, TheLeadingNumbersOfAVersionTextAreRead)
	{
		const struct
		{
			const char* text;
			Version expected;
		} cases[] = {
		    {"4.5 (Compatibility Profile) Mesa 22.3.6", {4, 5}},
		    {"4.6.0 NVIDIA 535.54", {4, 6, 0}},
		    {"3.2.1.9", {3, 2, 1}},
		    {"12", {12, 0}},
		    {"4.", {4, 0}},
		    {"", {}},
		    {"OpenGL 4.5", {}},
		    {"99999999999.1", {}},
		};
		for (const auto& c : cases)
			EXPECT_EQ(Version::fromString(c.text), c.expected) << c.text;
	}

	TEST(VersionTest, VersionsAreOrderedComponentByComponent)
	{
		EXPECT_LT(Version(4, 3), Version(4, 5));
		EXPECT_LT(Version(4, 5, 9), Version(4, 6));
		EXPECT_GT(Version(10, 0), Version(9, 9, 9));
		EXPECT_GE(Version(4, 5), Version(4, 5, 0));
		EXPECT_EQ(Version(4, 5).toString(), "4.5.0");
	}
}
