#include "host/core/Hashing.h"

#include <gtest/gtest.h>

#include <string>

using namespace Quorvale;

TEST(HashingTest, EveryByteOfEveryLengthCountsAndEqualPositionsHashEqually)
{
	// Lengths 1 to 17 cover whole words and each size of the tail.
	const std::string text = "abcdefghijklmnopq";
	for (size_t length = 1; length <= text.size(); ++length)
	{
		const uint64_t hash = Hashing::murmur64(text.data(), length);
		EXPECT_NE(hash, Hashing::murmur64(text.data(), length - 1)) << length;
		EXPECT_NE(hash, Hashing::murmur64(text.data(), length, 1)) << length;
		for (size_t at = 0; at < length; ++at)
		{
			std::string changed = text.substr(0, length);
			changed[at] ^= 1;
			EXPECT_NE(Hashing::murmur64(changed.data(), length), hash) << length << " " << at;
		}
	}
	const double positive[3] = {0.0, 1.5, 0.0}, negative[3] = {-0.0, 1.5, -0.0}, other[3] = {0.0, -1.5, 0.0};
	EXPECT_EQ(Hashing::murmur64(positive, 3), Hashing::murmur64(negative, 3));
	EXPECT_EQ(Hashing::murmur64(positive, 3), Hashing::murmur64(static_cast<const void*>(positive), sizeof positive));
	EXPECT_NE(Hashing::murmur64(positive, 3), Hashing::murmur64(other, 3));
}
