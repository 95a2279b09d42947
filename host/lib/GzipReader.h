#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace Quorvale
{
	/// Reads a gzip file as gzread does (members one after the other, bytes after the last member
	/// that do not start another ignored, a file that is not gzip passed through as it is), but
	/// inflates it itself so that the end of every member is known: a member counts only when
	/// inflate reached its end and checked its trailer (checksum and length). A file cut anywhere
	/// inside a member, its trailer included, does not end intact.
	class GzipReader
	{
	public:
		/// Opens the file at `path` for reading; see `isOpen`.
		explicit GzipReader(const std::string& path);
		~GzipReader();
		GzipReader(const GzipReader&) = delete;
		GzipReader& operator=(const GzipReader&) = delete;

		bool isOpen() const;
		/// Reads up to `count` bytes of the data; fewer only at its end (or where the file is cut).
		/// Nothing when the data does not decode or the file cannot be read.
		std::optional<std::size_t> read(unsigned char* target, std::size_t count);
		/// Reads on to the end: true when everything decoded and the last member ended with its
		/// trailer (or the file is not gzip).
		bool endsIntact();

	private:
		struct State;
		std::unique_ptr<State> m_state;
	};
}
