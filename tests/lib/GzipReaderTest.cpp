#include "host/lib/GzipReader.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

using namespace Quorvale;
namespace fs = std::filesystem;

namespace
{
	/// One gzip member holding `data`.
	std::string gzipMember(const std::string& data)
	{
		z_stream stream{};
		EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
		std::string out(deflateBound(&stream, static_cast<uLong>(data.size())) + 32, '\0');
		stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
		stream.avail_in = static_cast<uInt>(data.size());
		stream.next_out = reinterpret_cast<Bytef*>(out.data());
		stream.avail_out = static_cast<uInt>(out.size());
		EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
		out.resize(stream.total_out);
		deflateEnd(&stream);
		return out;
	}

	/// What the reader gives for a file of `bytes`, and whether it ended intact; nothing when it
	/// did not decode.
	std::optional<std::pair<std::string, bool>> readAll(const std::string& bytes)
	{
		const fs::path file = fs::temp_directory_path() / ("quorvale-gzip-" + std::to_string(::getpid()) + ".gz");
		std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
		GzipReader reader(file.string());
		EXPECT_TRUE(reader.isOpen());
		std::string data(bytes.size() * 4 + 1024, '\0');
		const auto got = reader.read(reinterpret_cast<unsigned char*>(data.data()), data.size());
		const bool intact = reader.endsIntact();
		fs::remove(file);
		if (!got)
			return std::nullopt;
		data.resize(*got);
		return std::make_pair(data, intact);
	}
}

TEST(GzipReaderTest, ReadsMembersAndTellsWhetherTheLastOneEnded)
{
	std::mt19937 random(7);
	std::string data(100000, '\0');
	for (char& c : data)
		c = static_cast<char>('a' + random() % 4);
	const std::string first = gzipMember(data.substr(0, 30000)), second = gzipMember(data.substr(30000));
	struct Case
	{
		const char* name;
		std::string bytes;
		std::string data;
		bool intact;
	};
	const Case cases[] = {
	    {"one member", gzipMember(data), data, true},
	    {"two members", first + second, data, true},
	    {"bytes that start no member after the last", first + second + "not gzip", data, true},
	    {"not gzip at all", "plain bytes", "plain bytes", true},
	    {"trailer cut by one byte", first.substr(0, first.size() - 1), data.substr(0, 30000), false},
	    {"second member cut in its data", first + second.substr(0, second.size() / 2), "", false},
	};
	for (const Case& c : cases)
	{
		SCOPED_TRACE(c.name);
		const auto result = readAll(c.bytes);
		ASSERT_TRUE(result);
		if (!c.data.empty())
		{
			EXPECT_EQ(result->first, c.data);
		}
		EXPECT_EQ(result->second, c.intact);
	}
	std::string flipped = first;
	flipped[flipped.size() - 6] ^= 1;
	const auto damaged = readAll(flipped);
	EXPECT_TRUE(!damaged || !damaged->second) << "a wrong checksum passed";
}
