#include "host/lib/QuorvaleFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <mutex>
#include <optional>
#include <ostream>
#include <utility>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/core/SafeSave.h"
#include "host/lib/Checksum.h"
#include "host/lib/Data.h"
#include "host/lib/ImageSetFilePlugin.h"
#include "host/lib/MeshFilePlugin.h"
#include "host/lib/PointCloudFilePlugin.h"
#include "host/lib/QuorvaleFileBlockStream.h"
#include "host/lib/QuorvaleFileChecksumBuffer.h"
#include "host/lib/QuorvaleFileIO.h"
#include "host/lib/QuorvaleFileSink.h"

namespace Quorvale
{
	namespace
	{
		const std::string kLogCategory = "QuorvaleFile";

		struct Registry
		{
			std::mutex mutex;
			std::vector<std::unique_ptr<QuorvaleFilePlugin>> plugins;
		};

		Registry& registry()
		{
			// Never destroyed: handlers' code may live in plug-in libraries (see addPlugin).
			static Registry* instance = []
			{
				auto* r = new Registry;
				r->plugins.push_back(std::make_unique<ImageSetFilePlugin>());
				r->plugins.push_back(std::make_unique<MeshFilePlugin>());
				r->plugins.push_back(std::make_unique<PointCloudFilePlugin>());
				return r;
			}();
			return *instance;
		}

		using Job = std::pair<const Data*, const QuorvaleFilePlugin*>;

		/// Every object with the handler that stores it; empty (logged) when some object has none.
		std::optional<std::vector<Job>> assignHandlers(const DataList& list)
		{
			std::vector<Job> jobs;
			for (const Data* data : list.items())
			{
				if (!data)
					continue;
				const QuorvaleFilePlugin* handler = QuorvaleFile::pluginFor(*data);
				if (!handler)
				{
					Log::error(fmt::format("Cannot save '{}': no file handler stores this kind of data", data->name()), kLogCategory);
					return std::nullopt;
				}
				jobs.emplace_back(data, handler);
			}
			return jobs;
		}

		bool writeJobs(const std::vector<Job>& jobs, std::ostream& out)
		{
			out.write(QuorvaleFile::kMagic.data(), static_cast<std::streamsize>(QuorvaleFile::kMagic.size()));
			QuorvaleFileIO::writeU32(out, QuorvaleFile::kVersion);
			for (const auto& [data, handler] : jobs)
				if (!handler->save(*data, out))
					return false;
			char count[8];
			QuorvaleFileIO::putU64(count, jobs.size());
			QuorvaleFile::writeBlock(out, QuorvaleFile::kEndMarkType, {std::string_view(count, sizeof count)});
			out.flush();
			return bool(out);
		}

		/// The 20 bytes of a block's frame.
		struct FrameBytes
		{
			FrameBytes(uint32_t type, uint64_t length, uint32_t checksum)
			{
				QuorvaleFileIO::putU32(bytes, type);
				QuorvaleFileIO::putU64(bytes + 4, length);
				QuorvaleFileIO::putU32(bytes + 12, checksum);
				QuorvaleFileIO::putU32(bytes + 16, Checksum::crc32(bytes, 16));
			}
			char bytes[QuorvaleFile::kFrameSize];
		};

		/// Writes `head` and what `body` writes through `buffer`; false when `body` fails or the
		/// buffer cannot pass the bytes on.
		bool writePayload(QuorvaleFileChecksumBuffer& buffer, std::string_view head, const QuorvaleFile::PayloadWriter& body)
		{
			std::ostream payload(&buffer);
			payload.write(head.data(), static_cast<std::streamsize>(head.size()));
			return body(payload) && payload.flush() && buffer.passedOn();
		}

		/// The payload goes straight into the file after a frame of zeros, which is filled in once
		/// the payload's length and checksum are known.
		bool streamBlock(std::ostream& out, QuorvaleFileSink& sink, uint32_t type, std::string_view head,
		                 const QuorvaleFile::PayloadWriter& body)
		{
			const uint64_t frameAt = sink.position();
			const char zeros[QuorvaleFile::kFrameSize] = {};
			out.write(zeros, sizeof zeros);
			QuorvaleFileChecksumBuffer payload(&sink);
			if (!out || !writePayload(payload, head, body))
			{
				out.setstate(std::ios::badbit);
				return false;
			}
			const FrameBytes frame(type, payload.length(), payload.checksum());
			if (!sink.rewrite(frameAt, frame.bytes, sizeof frame.bytes))
				out.setstate(std::ios::badbit);
			return bool(out);
		}

		/// The frame goes first, so the payload is made twice: measured, then written and checked
		/// against the measure.
		bool measureAndWriteBlock(std::ostream& out, uint32_t type, std::string_view head, const QuorvaleFile::PayloadWriter& body)
		{
			QuorvaleFileChecksumBuffer measured;
			if (!writePayload(measured, head, body))
				return false;
			const FrameBytes frame(type, measured.length(), measured.checksum());
			out.write(frame.bytes, sizeof frame.bytes);
			QuorvaleFileChecksumBuffer written(out.rdbuf());
			if (!out || !writePayload(written, head, body))
			{
				out.setstate(std::ios::badbit);
				return false;
			}
			if (written.length() != measured.length() || written.checksum() != measured.checksum())
			{
				Log::error(fmt::format("A block of type {} changed while it was written", type), kLogCategory);
				out.setstate(std::ios::badbit);
				return false;
			}
			return true;
		}

		/// Reads the blocks of one file into a `LoadResult`.
		class Reader
		{
		public:
			Reader(std::istream& in, const std::string& source)
			    : m_in(in)
			    , m_source(source)
			{
			}

			QuorvaleFile::LoadResult run()
			{
				if (readHeader())
					readBlocks();
				return std::move(m_result);
			}

		private:
			template <typename... Args>
			void report(int level, const char* format, const Args&... args)
			{
				std::string message = fmt::format(format, args...);
				if (!m_source.empty())
					message = m_source + ": " + message;
				Log::log(level, kLogCategory, message);
				m_result.problems.push_back({level, std::move(message)});
			}

			/// A handler refused a block for lack of memory (`MemoryLimit` throws std::length_error).
			void reportLackOfMemory(uint64_t index, uint32_t type, const char* what)
			{
				report(Log::Error, "block {} (type {}) does not fit in memory: {}; it is skipped", index, type, what);
				m_result.problems.back().lackOfMemory = true;
			}

			bool readHeader()
			{
				char header[QuorvaleFile::kHeaderSize];
				m_in.read(header, sizeof header);
				const auto got = static_cast<size_t>(m_in.gcount());
				if (got < QuorvaleFile::kMagic.size() || std::string_view(header, QuorvaleFile::kMagic.size()) != QuorvaleFile::kMagic)
				{
					report(Log::Error, "not a .qvf file (it does not start with the .qvf mark)");
					return false;
				}
				if (got < sizeof header)
				{
					report(Log::Error, "the file ends inside its header: it is truncated");
					return false;
				}
				const uint32_t version = QuorvaleFileIO::getU32(header + QuorvaleFile::kMagic.size());
				if (version != QuorvaleFile::kVersion)
				{
					report(Log::Error, "unsupported .qvf version {} (this program reads version {})", version, QuorvaleFile::kVersion);
					return false;
				}
				m_left = QuorvaleFileIO::remainingBytes(m_in);
				return true;
			}

			/// The type, length and payload checksum a block's frame gives.
			struct Frame
			{
				uint32_t type = 0;
				uint64_t length = 0;
				uint32_t checksum = 0;
			};

			/// The frame of block `index`; nothing, with the reason reported, when the file ends or
			/// the frame is damaged.
			std::optional<Frame> readFrame(uint64_t index)
			{
				char frame[QuorvaleFile::kFrameSize];
				m_in.read(frame, sizeof frame);
				const auto got = static_cast<size_t>(m_in.gcount());
				if (got == 0)
				{
					report(Log::Error, "the file ends after block {} without its end mark: it is truncated", index - 1);
					return std::nullopt;
				}
				if (got < sizeof frame)
				{
					report(Log::Error, "block {}: the file ends inside its frame: it is truncated", index);
					return std::nullopt;
				}
				consume(sizeof frame);
				if (Checksum::crc32(frame, 16) != QuorvaleFileIO::getU32(frame + 16))
				{
					report(Log::Error, "block {}: its frame is damaged (checksum mismatch); it and the rest of the file cannot be read",
					       index);
					return std::nullopt;
				}
				return Frame{QuorvaleFileIO::getU32(frame), QuorvaleFileIO::getU64(frame + 4), QuorvaleFileIO::getU32(frame + 12)};
			}

			/// The payload of block `index`; nothing, with the reason reported, when the file ends first.
			std::optional<std::string> readPayload(uint64_t index, const Frame& frame)
			{
				if (m_left && frame.length > *m_left)
				{
					report(Log::Error, "block {} (type {}): its length {} goes beyond the end of the file ({} bytes left): it is truncated",
					       index, frame.type, frame.length, *m_left);
					return std::nullopt;
				}
				std::string payload;
				if (m_left)
					payload.reserve(static_cast<size_t>(frame.length));
				if (!QuorvaleFileIO::readBytes(m_in, frame.length, payload))
				{
					report(Log::Error, "block {} (type {}): the file ends inside it: it is truncated", index, frame.type);
					return std::nullopt;
				}
				consume(frame.length);
				return payload;
			}

			void readBlocks()
			{
				uint64_t dataBlocks = 0;
				for (uint64_t index = 1;; ++index)
				{
					const std::optional<Frame> frame = readFrame(index);
					if (!frame)
						return;
					std::optional<std::string> payload = readPayload(index, *frame);
					if (!payload)
						return;
					const bool intact = Checksum::crc32(payload->data(), payload->size()) == frame->checksum;
					if (frame->type == QuorvaleFile::kEndMarkType)
					{
						checkEndMark(index, intact, *payload, dataBlocks);
						return;
					}
					++dataBlocks;
					if (!intact)
					{
						report(Log::Error, "block {} (type {}) is damaged (checksum mismatch); it is skipped", index, frame->type);
						continue;
					}
					loadBlock(index, frame->type, std::move(*payload));
				}
			}

			void checkEndMark(uint64_t index, bool intact, const std::string& payload, uint64_t dataBlocks)
			{
				if (!intact || payload.size() != 8)
					report(Log::Error, "block {}: the end mark is damaged", index);
				else if (const uint64_t count = QuorvaleFileIO::getU64(payload.data()); count != dataBlocks)
					report(Log::Error, "the end mark counts {} blocks but the file holds {}", count, dataBlocks);
				if (m_in.peek() != std::istream::traits_type::eof())
					report(Log::Warning, "the bytes after the end mark are ignored");
			}

			void loadBlock(uint64_t index, uint32_t type, std::string payload)
			{
				const QuorvaleFilePlugin* handler = nullptr;
				std::unique_ptr<Data> data;
				for (const QuorvaleFilePlugin* candidate : QuorvaleFile::plugins())
					if ((data = candidate->createData(type)))
					{
						handler = candidate;
						break;
					}
				if (!handler)
				{
					report(Log::Warning, "block {} has type {}, which no file handler reads; it is skipped", index, type);
					return;
				}
				try
				{
					QuorvaleFilePlugin::Block block;
					if (!handler->beginBlockRead(type, std::move(payload), block))
					{
						report(Log::Error, "block {} (type {}) is malformed; it is skipped", index, type);
						return;
					}
					QuorvaleFileBlockStream body(block.body.data(), block.body.size());
					if (!handler->load(block.body.size(), *data, body))
					{
						report(Log::Error, "block {} (type {}) could not be read; it is skipped", index, type);
						return;
					}
					// A body with bytes its handler did not read describes less than it holds (a
					// count lowered by damage): what it gave would silently lack the rest.
					if (body.peek() != std::istream::traits_type::eof())
					{
						report(Log::Error, "block {} (type {}) is damaged: its handler left part of its body unread; it is skipped", index,
						       type);
						return;
					}
					if (!handler->endBlockRead(block, *data))
					{
						report(Log::Error, "block {} (type {}) could not be read; it is skipped", index, type);
						return;
					}
				}
				catch (const std::length_error& e)
				{
					reportLackOfMemory(index, type, e.what());
					return;
				}
				catch (const std::bad_alloc&)
				{
					reportLackOfMemory(index, type, "there is not enough memory");
					return;
				}
				catch (const std::exception& e)
				{
					report(Log::Error, "block {} (type {}) could not be read: {}; it is skipped", index, type, e.what());
					return;
				}
				m_result.data.add(std::move(data));
			}

			void consume(uint64_t bytes)
			{
				if (m_left)
					*m_left = *m_left >= bytes ? *m_left - bytes : 0;
			}

			std::istream& m_in;
			const std::string& m_source;
			std::optional<uint64_t> m_left; ///< bytes not yet read, when the stream can tell
			QuorvaleFile::LoadResult m_result;
		};
	}

	bool QuorvaleFile::LoadResult::ok() const
	{
		for (const Problem& problem : problems)
			if (problem.level >= Log::Error)
				return false;
		return true;
	}

	void QuorvaleFile::addPlugin(std::unique_ptr<QuorvaleFilePlugin> plugin)
	{
		if (!plugin)
			return;
		Registry& r = registry();
		std::lock_guard lock(r.mutex);
		r.plugins.push_back(std::move(plugin));
	}

	std::vector<QuorvaleFilePlugin*> QuorvaleFile::plugins()
	{
		Registry& r = registry();
		std::lock_guard lock(r.mutex);
		std::vector<QuorvaleFilePlugin*> out;
		out.reserve(r.plugins.size());
		for (const auto& plugin : r.plugins)
			out.push_back(plugin.get());
		return out;
	}

	QuorvaleFilePlugin* QuorvaleFile::pluginFor(const Data& data)
	{
		for (QuorvaleFilePlugin* plugin : plugins())
			if (plugin->blockType(data) != 0)
				return plugin;
		return nullptr;
	}

	bool QuorvaleFile::writeBlock(std::ostream& out, uint32_t type, std::initializer_list<std::string_view> payload)
	{
		uint64_t length = 0;
		uint32_t checksum = 0;
		for (std::string_view piece : payload)
		{
			length += piece.size();
			checksum = Checksum::crc32(piece.data(), piece.size(), checksum);
		}
		const FrameBytes frame(type, length, checksum);
		out.write(frame.bytes, sizeof frame.bytes);
		for (std::string_view piece : payload)
			out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
		return bool(out);
	}

	bool QuorvaleFile::writeBlock(std::ostream& out, uint32_t type, std::string_view head, const PayloadWriter& body)
	{
		if (!out)
			return false;
		auto* sink = dynamic_cast<QuorvaleFileSink*>(out.rdbuf());
		return sink && sink->canRewrite() ? streamBlock(out, *sink, type, head, body) : measureAndWriteBlock(out, type, head, body);
	}

	bool QuorvaleFile::write(const DataList& list, std::ostream& out)
	{
		const auto jobs = assignHandlers(list);
		if (!jobs)
			return false;
		if (!writeJobs(*jobs, out))
		{
			Log::error("Writing the .qvf file failed", kLogCategory);
			return false;
		}
		return true;
	}

	QuorvaleFile::LoadResult QuorvaleFile::read(std::istream& in, const std::string& source) { return Reader(in, source).run(); }

	bool QuorvaleFile::save(const DataList& list, const std::string& path)
	{
		const auto jobs = assignHandlers(list);
		if (!jobs)
			return false;
		SafeSave save(path, kExtension);
		if (!save.ok())
		{
			Log::error(fmt::format("Cannot save '{}': {}", path, save.error()), kLogCategory);
			return false;
		}
		QuorvaleFileSink sink(save.takeDescriptor(), save.inPlace());
		std::ostream out(&sink);
		const bool written = writeJobs(*jobs, out);
		if (!written || !sink.finish())
		{
			if (sink.failed())
				Log::error(fmt::format("Cannot save '{}': writing failed: {}", path, sink.error()), kLogCategory);
			else
				Log::error(fmt::format("Cannot save '{}': the file was not written", path), kLogCategory);
			return false;
		}
		if (!save.commit())
		{
			Log::error(fmt::format("Cannot save '{}': {}", path, save.error()), kLogCategory);
			return false;
		}
		return true;
	}

	QuorvaleFile::LoadResult QuorvaleFile::load(const std::string& path)
	{
		std::error_code ec;
		const bool regular = std::filesystem::is_regular_file(std::filesystem::u8path(path), ec);
		std::ifstream in;
		if (regular)
			in.open(std::filesystem::u8path(path), std::ios::binary);
		if (!in.is_open() || !in)
		{
			LoadResult result;
			std::string message = regular || !std::filesystem::exists(std::filesystem::u8path(path), ec)
			                          ? fmt::format("Cannot open '{}': {}", path, std::strerror(regular ? errno : ENOENT))
			                          : fmt::format("Cannot open '{}': it is not a regular file", path);
			Log::error(message, kLogCategory);
			result.problems.push_back({Log::Error, std::move(message)});
			return result;
		}
		return read(in, path);
	}
}
