#pragma once

#include "host/lib/DataList.h"
#include "host/lib/QuorvaleFilePlugin.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvale
{
	class Data;

	/// The host's own data file (".qvf", docs/qvf-file-format.md): a header, then one checksummed
	/// block per data object, written and read by the block handlers registered with `addPlugin`,
	/// and an end mark. Damage and truncation are detected; the intact blocks of a damaged file
	/// still load. Messages go to the log under the category "QuorvaleFile".
	class QuorvaleFile
	{
	public:
		static constexpr const char* kExtension = ".qvf";
		/// The format version this program writes and reads.
		static constexpr uint32_t kVersion = 1;
		/// Block type of the end mark; no handler may use it.
		static constexpr uint32_t kEndMarkType = 0;
		/// The 8 bytes every file starts with.
		static constexpr std::string_view kMagic{"\x89QVF\r\n\x1A\n", 8};
		/// Bytes of the header (mark and version) and of a block frame.
		static constexpr size_t kHeaderSize = 12;
		static constexpr size_t kFrameSize = 20;

		/// Something that went wrong while loading, at the log's warning or error level.
		struct Problem
		{
			int level = 0;
			std::string message;
			/// A block that needed more memory than there is (an error): the file need not be damaged.
			bool lackOfMemory = false;
		};

		/// What `load` and `read` give: the objects of the blocks that loaded, in file order, and
		/// every problem met on the way.
		struct LoadResult
		{
			OwningDataList data;
			std::vector<Problem> problems;

			/// True when the file was read to its end mark and every block in it loaded or was
			/// of a type nobody reads (a warning): no problem at the error level.
			bool ok() const;
		};

		/// Registers a block handler for the rest of the process (null is ignored). Handlers are
		/// asked in registration order; those for images (`SharedImageSet`), meshes and point clouds are there from the start.
		/// They are never destroyed, as their code may live in plug-in libraries that are unloaded
		/// only when the process ends.
		static void addPlugin(std::unique_ptr<QuorvaleFilePlugin> plugin);
		/// The registered handlers in the order they are asked.
		static std::vector<QuorvaleFilePlugin*> plugins();
		/// The first handler that stores `data` (a non-zero `blockType`), or null.
		static QuorvaleFilePlugin* pluginFor(const Data& data);

		/// Saves every object of `list` into the file at `path` (UTF-8), replacing it only when the
		/// whole file was written: the data goes to a new file beside it, which is written, synced,
		/// closed (each step checked) and then renamed over `path`. No block is held in memory. On any failure the old file is
		/// untouched and the new one removed. When some object has no handler, nothing is written.
		/// False with the reason logged on failure.
		static bool save(const DataList& list, const std::string& path);
		/// Loads the file at `path`; see `read`. A file that cannot be opened is an error problem.
		static LoadResult load(const std::string& path);

		/// Writes the whole file for `list` into `out`. False (logged) when some object has no
		/// handler (then nothing is written), a handler fails or the stream fails; what was written
		/// up to a failure stays in `out`.
		static bool write(const DataList& list, std::ostream& out);
		/// Reads a whole file from `in`. A damaged block is skipped, a block of a type no handler
		/// reads is skipped with a warning; a damaged frame or header, or a file that ends before
		/// its end mark, ends the reading. Every problem is logged (prefixed by `source` when it is
		/// not empty) and listed in the result.
		static LoadResult read(std::istream& in, const std::string& source = {});

		/// Appends one framed block: its frame (type, payload length and checksums) followed by the
		/// `payload` pieces one after another. False when the stream fails.
		static bool writeBlock(std::ostream& out, uint32_t type, std::initializer_list<std::string_view> payload);
		/// Writes the payload of a block into the stream it is given; false when it cannot be made.
		using PayloadWriter = std::function<bool(std::ostream&)>;
		/// Appends one framed block whose payload is `head` followed by what `body` writes, without
		/// holding the payload in memory. Into the stream `save` writes, the payload goes straight to
		/// the file and the frame is filled in after it. Into any other stream, `body` runs twice:
		/// once to measure the payload (when it fails then, nothing reaches `out`) and once to write
		/// it, which must give the same bytes. False (logged when the payload changed between the
		/// two) when `body` fails or `out` fails; `out` is then failed too when part of the block
		/// reached it.
		static bool writeBlock(std::ostream& out, uint32_t type, std::string_view head, const PayloadWriter& body);

		QuorvaleFile() = delete;
	};
}
