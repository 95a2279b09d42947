#pragma once

#include "host/lib/QuorvaleFilePlugin.h"
#include "host/lib/QuorvaleFileBodyReader.h"
#include "host/lib/QuorvaleFileIO.h"

#include "host/core/Log.h"

#include <Eigen/Core>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace Quorvale
{
	/// The part every handler of one of the host's own data types shares: it stores objects of type
	/// `T` (default-constructible) under one block type, and every body starts with the handler's
	/// tag. `write` casts, writes the tag, then `writeBody`, and reports a failed stream; `load`
	/// casts and hands `readBody` a reader bounded to the block. The tag is read back by `readBody`
	/// itself: each kind words a damaged start its own way. Errors are logged in the data file's
	/// category.
	template <typename T>
	class QuorvaleFileDataPlugin : public QuorvaleFilePlugin
	{
	public:
		/// An empty `T` for this handler's block type, else null.
		std::unique_ptr<Data> createData(uint32_t blockType) const override
		{
			return blockType == m_blockType ? std::make_unique<T>() : nullptr;
		}
		/// This handler's block type for a `T`, 0 for other data.
		uint32_t blockType(const Data& data) const override { return dynamic_cast<const T*>(&data) ? m_blockType : 0; }
		/// False for data that is not a `T`, else what `readBody` says.
		bool load(uint64_t /*bodySize*/, Data& data, std::istream& body) const override
		{
			auto* object = dynamic_cast<T*>(&data);
			if (!object)
				return false;
			QuorvaleFileBodyReader reader(body);
			return readBody(reader, *object);
		}
		/// The tag and `writeBody`. False for data that is not a `T`, when `writeBody` refuses, or
		/// (logged) when the stream fails.
		bool write(const Data& data, std::ostream& body) const override
		{
			const auto* object = dynamic_cast<const T*>(&data);
			if (!object)
				return false;
			body.write(m_tag.data(), static_cast<std::streamsize>(m_tag.size()));
			if (!writeBody(*object, body))
				return false;
			body.flush();
			return body ? true : fail("Failed to write the " + std::string(m_noun) + " block: the output stream failed");
		}

	protected:
		/// `noun` names the kind in messages ("mesh"); `tag` and `noun` must outlive the handler.
		QuorvaleFileDataPlugin(uint32_t blockType, std::string_view tag, std::string_view noun)
		    : m_blockType(blockType)
		    , m_tag(tag)
		    , m_noun(noun)
		{
		}

		/// Writes everything after the tag. False, with the reason logged, when the body cannot be made.
		virtual bool writeBody(const T& object, std::ostream& body) const = 0;
		/// Reads a whole body, tag included, into an empty object. False, with the reason logged, on
		/// any inconsistency.
		virtual bool readBody(QuorvaleFileBodyReader& reader, T& object) const = 0;

		/// Logs `message` as an error of the data file and returns false.
		static bool fail(const std::string& message)
		{
			Log::error(message, kCategory);
			return false;
		}
		/// 16 doubles, column after column, as `QuorvaleFileBodyReader::matrix` reads them.
		static void writeMatrix(std::ostream& out, const Eigen::Matrix4d& matrix)
		{
			for (int i = 0; i < 16; ++i)
				QuorvaleFileIO::writeF64(out, matrix.data()[i]);
		}

	private:
		static constexpr const char* kCategory = "QuorvaleFile";

		uint32_t m_blockType;
		std::string_view m_tag;
		std::string_view m_noun;
	};
}
