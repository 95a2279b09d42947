#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace Quorvale
{
	/// Reads a gzip file member by member, inflating it itself so that the end of every member is
	/// known: a member counts only when inflate reached its end and checked its trailer (checksum
	/// and length). After a member only zero bytes (padding) or another member may follow; any
	/// other byte there, a member cut anywhere (its trailer included) or data that does not decode
	/// is a fault, which `problem` names with its offset in the file. A file that does not start
	/// with the gzip magic is not gzip and passes through as it is.
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
		/// Nothing when the data does not decode, bytes that are neither padding nor a member
		/// follow a member, or the file cannot be read.
		std::optional<std::size_t> read(unsigned char* target, std::size_t count);
		/// Reads on to the end: true when everything decoded and the last member ended with its
		/// trailer, followed by nothing but padding (or the file is not gzip).
		bool endsIntact();
		/// What is wrong with the file so far, naming the offset in the file ("the gzip member at
		/// offset 0 is damaged (incorrect data check)"); empty while nothing is.
		const std::string& problem() const;

	private:
		struct State;
		std::unique_ptr<State> m_state;
	};
}
