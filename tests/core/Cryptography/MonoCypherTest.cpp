#include "host/core/Cryptography/MonoCypher.h"

#include <gtest/gtest.h>

namespace Quorvale::Cryptography
{
	namespace
	{
		MonoCypher::Key key(std::uint8_t seed)
		{
			MonoCypher::Key k{};
			for (std::size_t i = 0; i < k.size(); ++i)
				k[i] = static_cast<std::uint8_t>(seed + 7 * i);
			return k;
		}
	}

	TEST(MonoCypherTest, DecipheringGivesBackThePlainTextAndNoncesDiffer)
	{
		for (const std::string& plain : {std::string(), std::string("#version 430\nvoid main() {}\n"), std::string(5000, 'x')})
		{
			const ByteBuffer cipher = MonoCypher::encrypt(ByteBufferView(plain), key(1));
			EXPECT_EQ(cipher.size(), plain.size() + MonoCypher::overhead);
			const std::optional<ByteBuffer> back = MonoCypher::decrypt(cipher, key(1));
			ASSERT_TRUE(back);
			EXPECT_EQ(back->toString(), plain);
			EXPECT_NE(MonoCypher::encrypt(ByteBufferView(plain), key(1)), cipher);
		}
	}

	TEST(MonoCypherTest, AChangedByteAWrongKeyOrAShortBufferGiveNothing)
	{
		const ByteBuffer cipher = MonoCypher::encrypt(ByteBufferView(std::string("resource")), key(1));
		for (std::size_t i = 0; i < cipher.size(); ++i)
		{
			ByteBuffer changed = cipher;
			changed[i] ^= 0x01;
			EXPECT_FALSE(MonoCypher::decrypt(changed, key(1))) << "byte " << i;
		}
		EXPECT_FALSE(MonoCypher::decrypt(cipher, key(2)));
		for (std::size_t size : {std::size_t(0), MonoCypher::overhead - 1, cipher.size() - 1})
			EXPECT_FALSE(MonoCypher::decrypt(ByteBufferView(cipher.data(), size), key(1))) << size << " bytes";
	}
}
