#include "host/core/Cryptography/MonoCypher.h"

#include <mutex>
#include <stdexcept>

#include <sodium.h>

namespace Quorvale::Cryptography
{
	namespace
	{
		constexpr std::size_t kNonceSize = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
		constexpr std::size_t kTagSize = crypto_aead_xchacha20poly1305_ietf_ABYTES;
		static_assert(crypto_aead_xchacha20poly1305_ietf_KEYBYTES == 32, "the key is 32 bytes");

		void initialiseSodium()
		{
			static std::once_flag once;
			std::call_once(once,
			               []
			               {
				               if (sodium_init() < 0)
					               throw std::runtime_error("libsodium cannot be initialised");
			               });
		}
	}

	const std::size_t MonoCypher::overhead = kNonceSize + kTagSize;

	namespace
	{
		/// Enciphers `plain` behind the nonce that `makeNonce` writes into the first bytes.
		template <typename MakeNonce>
		ByteBuffer encipher(ByteBufferView plain, const MonoCypher::Key& key, MakeNonce makeNonce)
		{
			initialiseSodium();
			ByteBuffer out(kNonceSize + plain.size() + kTagSize);
			makeNonce(out.data());
			unsigned long long written = 0;
			crypto_aead_xchacha20poly1305_ietf_encrypt(out.data() + kNonceSize, &written, plain.data(), plain.size(), nullptr, 0, nullptr,
			                                           out.data(), key.data());
			out.resize(kNonceSize + static_cast<std::size_t>(written));
			return out;
		}
	}

	ByteBuffer MonoCypher::encrypt(ByteBufferView plain, const Key& key)
	{
		return encipher(plain, key, [](unsigned char* nonce) { randombytes_buf(nonce, kNonceSize); });
	}

	ByteBuffer MonoCypher::encryptReproducibly(ByteBufferView plain, const Key& key)
	{
		return encipher(plain, key,
		                [&](unsigned char* nonce) { crypto_generichash(nonce, kNonceSize, plain.data(), plain.size(), key.data(), key.size()); });
	}

	std::optional<ByteBuffer> MonoCypher::decrypt(ByteBufferView cipher, const Key& key)
	{
		if (cipher.size() < kNonceSize + kTagSize)
			return std::nullopt;
		initialiseSodium();
		ByteBuffer plain(cipher.size() - kNonceSize - kTagSize);
		unsigned long long written = 0;
		if (crypto_aead_xchacha20poly1305_ietf_decrypt(plain.data(), &written, nullptr, cipher.data() + kNonceSize,
		                                               cipher.size() - kNonceSize, nullptr, 0, cipher.data(), key.data()) != 0)
			return std::nullopt;
		plain.resize(static_cast<std::size_t>(written));
		return plain;
	}
}
