#include "app/DataFingerprint.h"

#include <ostream>
#include <streambuf>

#include "host/lib/Data.h"
#include "host/lib/DataList.h"
#include "host/lib/QuorvaleFile.h"

namespace Quorvale::DataFingerprint
{
	namespace
	{
		/// An output buffer that folds every byte into an FNV-1a digest.
		class DigestBuffer : public std::streambuf
		{
		public:
			std::uint64_t digest() const { return m_digest; }

		protected:
			int_type overflow(int_type c) override
			{
				if (!traits_type::eq_int_type(c, traits_type::eof()))
					add(static_cast<unsigned char>(c));
				return traits_type::not_eof(c);
			}

			std::streamsize xsputn(const char* s, std::streamsize n) override
			{
				for (std::streamsize i = 0; i < n; ++i)
					add(static_cast<unsigned char>(s[i]));
				return n;
			}

		private:
			void add(unsigned char byte)
			{
				m_digest ^= byte;
				m_digest *= 0x100000001b3ull;
			}

			std::uint64_t m_digest = 0xcbf29ce484222325ull;
		};
	}

	std::optional<std::uint64_t> of(const Data& data)
	{
		if (!QuorvaleFile::pluginFor(data))
			return std::nullopt;
		DigestBuffer buffer;
		std::ostream out(&buffer);
		if (!QuorvaleFile::write(DataList{const_cast<Data*>(&data)}, out))
			return std::nullopt;
		return buffer.digest();
	}
}
