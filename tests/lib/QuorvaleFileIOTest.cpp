#include "host/lib/Checksum.h"
#include "host/lib/QuorvaleFileBlockStream.h"
#include "host/lib/QuorvaleFileIO.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <sstream>
#include <string>

using namespace Quorvale;

TEST(ChecksumTest, Crc32MatchesTheStandardCheckValues)
{
	EXPECT_EQ(Checksum::crc32("", 0), 0u);
	EXPECT_EQ(Checksum::crc32("123456789", 9), 0xCBF43926u);
	const std::string fox = "The quick brown fox jumps over the lazy dog";
	EXPECT_EQ(Checksum::crc32(fox.data(), fox.size()), 0x414FA339u);
}

TEST(ChecksumTest, Crc32OverPiecesEqualsCrc32OverTheWhole)
{
	std::string data;
	for (int i = 0; i < 1000; ++i)
		data.push_back(static_cast<char>(i * 37 + 11));
	const uint32_t whole = Checksum::crc32(data.data(), data.size());
	// Splits at every offset so the 8-byte fast path and the byte tail both meet odd boundaries.
	for (size_t split = 0; split <= 40; ++split)
	{
		const uint32_t first = Checksum::crc32(data.data(), split);
		EXPECT_EQ(Checksum::crc32(data.data() + split, data.size() - split, first), whole) << split;
	}
	data[517] ^= 0x10;
	EXPECT_NE(Checksum::crc32(data.data(), data.size()), whole);
}

TEST(QuorvaleFileIOTest, NumbersAreLittleEndianAndRoundTripBitForBit)
{
	std::ostringstream out;
	QuorvaleFileIO::writeU8(out, 0xAB);
	QuorvaleFileIO::writeU32(out, 0x01020304u);
	QuorvaleFileIO::writeU64(out, 0x0102030405060708ull);
	QuorvaleFileIO::writeF64(out, -0.0);
	QuorvaleFileIO::writeF64(out, std::numeric_limits<double>::denorm_min());
	const std::string bytes = out.str();
	ASSERT_EQ(bytes.size(), 1u + 4 + 8 + 8 + 8);
	EXPECT_EQ(bytes.substr(1, 4), std::string("\x04\x03\x02\x01", 4));
	EXPECT_EQ(bytes.substr(5, 8), std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8));
	EXPECT_EQ(bytes.substr(13, 8), std::string("\0\0\0\0\0\0\0\x80", 8));

	std::istringstream in(bytes);
	uint8_t u8 = 0;
	uint32_t u32 = 0;
	uint64_t u64 = 0;
	double negativeZero = 1, denormal = 0;
	ASSERT_TRUE(QuorvaleFileIO::readU8(in, u8) && QuorvaleFileIO::readU32(in, u32) && QuorvaleFileIO::readU64(in, u64));
	ASSERT_TRUE(QuorvaleFileIO::readF64(in, negativeZero) && QuorvaleFileIO::readF64(in, denormal));
	EXPECT_EQ(u8, 0xAB);
	EXPECT_EQ(u32, 0x01020304u);
	EXPECT_EQ(u64, 0x0102030405060708ull);
	EXPECT_TRUE(negativeZero == 0.0 && std::signbit(negativeZero));
	EXPECT_EQ(denormal, std::numeric_limits<double>::denorm_min());
	EXPECT_FALSE(QuorvaleFileIO::readU8(in, u8));
}

TEST(QuorvaleFileIOTest, ReadBytesWithAnAbsurdLengthFailsWithoutReservingIt)
{
	// A length from a damaged file must not be trusted for an allocation: 2^60 bytes would throw
	// std::bad_alloc (or worse) if it were reserved up front.
	std::istringstream in(std::string(100, 'x'));
	std::string out;
	EXPECT_FALSE(QuorvaleFileIO::readBytes(in, uint64_t(1) << 60, out));
	EXPECT_EQ(out.size(), 100u);
}

TEST(QuorvaleFileBlockStreamTest, ReadingStopsAtTheEndOfTheBlock)
{
	const std::string file = "HEADblockNEXT";
	QuorvaleFileBlockStream block(file.data() + 4, 5);
	EXPECT_EQ(QuorvaleFileIO::remainingBytes(block), std::optional<uint64_t>(5));
	std::string body;
	EXPECT_FALSE(QuorvaleFileIO::readBytes(block, 9, body));
	EXPECT_EQ(body, "block"); // never "blockNEXT"
	EXPECT_TRUE(block.fail());
	EXPECT_TRUE(block.eof());
}

TEST(QuorvaleFileBlockStreamTest, SeeksStayInsideTheBlock)
{
	const std::string file = "xxABCDEFyy";
	QuorvaleFileBlockStream block(file.data() + 2, 6);
	block.seekg(-2, std::ios::end);
	EXPECT_EQ(block.get(), 'E');
	EXPECT_EQ(block.tellg(), std::streampos(5));
	block.seekg(1, std::ios::beg);
	EXPECT_EQ(block.get(), 'B');
	block.seekg(10, std::ios::cur);
	EXPECT_TRUE(block.fail());
	block.clear();
	block.seekg(-1, std::ios::beg);
	EXPECT_TRUE(block.fail());
	block.clear();
	block.seekg(0);
	EXPECT_EQ(block.get(), 'A');
}
