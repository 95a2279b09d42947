#pragma once

#include "host/core/ByteBuffer.h"
#include "host/core/ByteBufferView.h"

#include <array>
#include <cstdint>
#include <optional>

namespace Quorvale::Cryptography
{
	/// Authenticated symmetric encryption of stored resources with one 256-bit key
	/// (XChaCha20-Poly1305). The enciphered form is the 24-byte random nonce followed by the
	/// cipher text and its 16-byte tag.
	class MonoCypher
	{
	public:
		using Key = std::array<std::uint8_t, 32>;
		/// Bytes the enciphered form adds to the plain text: nonce and tag.
		static const std::size_t overhead;

		/// Enciphers `plain` with a fresh random nonce.
		static ByteBuffer encrypt(ByteBufferView plain, const Key& key);
		/// Enciphers `plain` with a nonce derived from the plain text and the key (a keyed hash), so
		/// that the same text always gives the same bytes: for resources stored at build time, where
		/// reproducible builds matter more than hiding that two texts are equal.
		static ByteBuffer encryptReproducibly(ByteBufferView plain, const Key& key);
		/// The plain text of `cipher`; empty when it was not enciphered with `key`, was changed in
		/// any byte, or is too short to hold a nonce and a tag.
		static std::optional<ByteBuffer> decrypt(ByteBufferView cipher, const Key& key);
	};
}
