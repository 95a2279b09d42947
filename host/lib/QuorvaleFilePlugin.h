#pragma once

#include "host/core/NotCopyable.h"
#include "host/core/Properties.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

namespace Quorvale
{
	class Data;

	/// Stores one kind of data object as typed blocks of a .qvf file (docs/qvf-file-format.md).
	/// A handler supplies the block body (`write`, `load`) and recognises its data (`blockType`,
	/// `createData`); the framing, the checksums and the object's name and components are done
	/// here for every handler. Handlers are registered once with `QuorvaleFile::addPlugin` and keep
	/// no state between calls, so several files may be saved and loaded at once on different threads.
	class QuorvaleFilePlugin : public Utils::NotCopyable
	{
	public:
		/// One block on its way between a file and a handler: the type it is framed with, the
		/// object's name and components as Properties text, and the handler's body.
		struct Block
		{
			uint32_t type = 0;
			std::string properties;
			std::string body;
		};

		QuorvaleFilePlugin() = default;
		virtual ~QuorvaleFilePlugin();

		/// A new, empty object to read a block of that type into; null when the type is not this handler's.
		virtual std::unique_ptr<Data> createData(uint32_t blockType) const = 0;
		/// The block type `data` is saved under; 0 when this handler does not store such data.
		virtual uint32_t blockType(const Data& data) const = 0;
		/// Reads one block body into `data` (made by `createData`). `body` is bounded to the block's
		/// `bodySize` bytes. False, with the reason logged, when the body is not valid; `data` may then
		/// be partly filled and the caller discards it.
		virtual bool load(uint64_t bodySize, Data& data, std::istream& body) const = 0;
		/// Saves `data` as one block at the end of `file`: `beginBlockWrite`, then the properties and
		/// the body from `write` through `QuorvaleFile::writeBlock`, which holds no copy of the body.
		/// False with the reason logged when the body cannot be made or `file` fails; `file` is then
		/// failed too when part of the block reached it.
		virtual bool save(const Data& data, std::ostream& file) const;
		/// Writes the block body of `data`. False, with the reason logged, when the data is not this
		/// handler's or the body cannot be made, the stream's failure included.
		virtual bool write(const Data& data, std::ostream& body) const = 0;

		/// What is kept of `data` besides the body: its name (parameter "name") and, under the
		/// sub-properties "components", one set per component that is not temporary, named after
		/// the component's `id` and holding its configuration.
		virtual Properties customPropertiesToSave(const Data& data) const;
		/// Applies what `customPropertiesToSave` kept: sets the name and configures each component
		/// of `data` whose `id` matches a stored set. A stored set that matches no component is
		/// skipped with a warning. False when the properties are not of that shape.
		virtual bool loadCustomProperties(Data& data, const Properties& properties) const;
		/// Called last when a block has been read: a handler whose stored orientation differs from
		/// the one in memory brings `data` into line here. Does nothing by default.
		virtual void applyFlipToEnsureConsistency(Data& data) const;

		/// Starts a block for `data`: its type (`blockType`, through `setBlockType`) and its
		/// properties text; the body is left empty. False (logged) when this handler does not store
		/// `data` or the properties cannot be made.
		virtual bool beginBlockWrite(const Data& data, Block& block) const;
		/// Appends a block made in memory to `file`: the frame with type, length and checksums, then
		/// the properties text and the body. False (logged) when the stream fails.
		virtual bool endBlockWrite(const Block& block, std::ostream& file) const;
		/// Starts reading a block of type `blockType` whose payload (properties text and body)
		/// passed its checksum: splits `payload` into `block`. False (logged) when it is malformed.
		virtual bool beginBlockRead(uint32_t blockType, std::string payload, Block& block) const;
		/// Finishes reading `block` into `data` after `load`: `loadCustomProperties` with the stored
		/// properties, then `applyFlipToEnsureConsistency`. False (logged) when the properties are unreadable.
		virtual bool endBlockRead(const Block& block, Data& data) const;
		/// Sets the type `block` is framed with.
		virtual void setBlockType(Block& block, uint32_t type) const;

	private:
		/// What a payload starts with: the length of the properties text (u32) and the text; empty
		/// (logged) when the text is too long for its length.
		static std::optional<std::string> payloadHead(const Block& block);
	};
}
