#pragma once

#include <cstdint>
#include <optional>

namespace Quorvale
{
	class Data;

	/// A 64-bit digest of a data object's stored form (its block of the data file), to tell whether an
	/// algorithm changed it. Streams the block into the digest, so it costs no copy of the data.
	namespace DataFingerprint
	{
		/// The digest of `data`, or empty when the data file cannot store it.
		std::optional<std::uint64_t> of(const Data& data);
	}
}
