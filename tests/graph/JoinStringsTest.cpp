#include "src/graph/JoinStrings.h"

#include <gtest/gtest.h>

using namespace Quorvale;

TEST(JoinStringsTest, JoinStrings)
{
	EXPECT_EQ(joinStrings({"Raw", "RescaledMax"}, ", "), "Raw, RescaledMax");
	EXPECT_EQ(joinStrings({"Directed", "Undirected"}, ","), "Directed,Undirected");
	EXPECT_EQ(joinStrings({"one"}, ", "), "one");
	EXPECT_EQ(joinStrings({}, ", "), "");
	EXPECT_EQ(joinStrings({"a", "b"}, ""), "ab");
}
