#include "host/lib/QuorvaleFileIO.h"

#include <algorithm>
#include <cstring>
#include <istream>
#include <ostream>

namespace Quorvale::QuorvaleFileIO
{
	namespace
	{
		/// Largest piece `readBytes` reserves ahead of the data that has arrived.
		constexpr uint64_t kReadChunk = uint64_t(1) << 20;

		template <size_t N>
		bool readRaw(std::istream& in, char (&buffer)[N])
		{
			in.read(buffer, N);
			return in.gcount() == static_cast<std::streamsize>(N);
		}
	}

	void putU32(char* out, uint32_t value)
	{
		for (int i = 0; i < 4; ++i)
			out[i] = static_cast<char>((value >> (8 * i)) & 0xFFu);
	}

	void putU64(char* out, uint64_t value)
	{
		for (int i = 0; i < 8; ++i)
			out[i] = static_cast<char>((value >> (8 * i)) & 0xFFu);
	}

	uint32_t getU32(const char* in)
	{
		uint32_t value = 0;
		for (int i = 0; i < 4; ++i)
			value |= uint32_t(static_cast<unsigned char>(in[i])) << (8 * i);
		return value;
	}

	uint64_t getU64(const char* in)
	{
		uint64_t value = 0;
		for (int i = 0; i < 8; ++i)
			value |= uint64_t(static_cast<unsigned char>(in[i])) << (8 * i);
		return value;
	}

	void writeU8(std::ostream& out, uint8_t value) { out.put(static_cast<char>(value)); }

	void writeU32(std::ostream& out, uint32_t value)
	{
		char buffer[4];
		putU32(buffer, value);
		out.write(buffer, sizeof buffer);
	}

	void writeU64(std::ostream& out, uint64_t value)
	{
		char buffer[8];
		putU64(buffer, value);
		out.write(buffer, sizeof buffer);
	}

	void writeF64(std::ostream& out, double value)
	{
		static_assert(sizeof(double) == sizeof(uint64_t), "doubles are stored as 64-bit IEEE-754 values");
		uint64_t bits = 0;
		std::memcpy(&bits, &value, sizeof bits);
		writeU64(out, bits);
	}

	void writeBytes(std::ostream& out, const std::string& bytes) { out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())); }

	bool readU8(std::istream& in, uint8_t& value)
	{
		char buffer[1];
		if (!readRaw(in, buffer))
			return false;
		value = static_cast<uint8_t>(buffer[0]);
		return true;
	}

	bool readU32(std::istream& in, uint32_t& value)
	{
		char buffer[4];
		if (!readRaw(in, buffer))
			return false;
		value = getU32(buffer);
		return true;
	}

	bool readU64(std::istream& in, uint64_t& value)
	{
		char buffer[8];
		if (!readRaw(in, buffer))
			return false;
		value = getU64(buffer);
		return true;
	}

	bool readF64(std::istream& in, double& value)
	{
		uint64_t bits = 0;
		if (!readU64(in, bits))
			return false;
		std::memcpy(&value, &bits, sizeof value);
		return true;
	}

	bool readBytes(std::istream& in, uint64_t size, std::string& out)
	{
		out.clear();
		while (out.size() < size)
		{
			const uint64_t piece = std::min<uint64_t>(size - out.size(), kReadChunk);
			const size_t start = out.size();
			out.resize(start + static_cast<size_t>(piece));
			in.read(out.data() + start, static_cast<std::streamsize>(piece));
			if (in.gcount() != static_cast<std::streamsize>(piece))
			{
				out.resize(start + static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
				return false;
			}
		}
		return true;
	}

	std::optional<uint64_t> remainingBytes(std::istream& in)
	{
		if (!in)
			return std::nullopt;
		const std::istream::pos_type here = in.tellg();
		if (here == std::istream::pos_type(-1))
		{
			in.clear();
			return std::nullopt;
		}
		in.seekg(0, std::ios::end);
		const std::istream::pos_type end = in.tellg();
		in.clear();
		in.seekg(here);
		if (end == std::istream::pos_type(-1) || end < here || !in)
		{
			in.clear();
			in.seekg(here);
			return std::nullopt;
		}
		return static_cast<uint64_t>(end - here);
	}
}
