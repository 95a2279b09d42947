#include "host/lib/QuorvaleFilePlugin.h"

#include <limits>
#include <optional>
#include <ostream>
#include <string_view>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/core/PropertiesIO.h"
#include "host/lib/Data.h"
#include "host/lib/QuorvaleFile.h"
#include "host/lib/QuorvaleFileIO.h"

namespace Quorvale
{
	namespace
	{
		const std::string kLogCategory = "QuorvaleFile";
		const std::string kNameParam = "name";
		const std::string kComponentsSet = "components";
	}

	QuorvaleFilePlugin::~QuorvaleFilePlugin() = default;

	bool QuorvaleFilePlugin::save(const Data& data, std::ostream& file) const
	{
		Block block;
		std::optional<std::string> head;
		if (!beginBlockWrite(data, block) || !(head = payloadHead(block)))
			return false;
		// The body is not held: it goes to the file as it is made (see QuorvaleFile::writeBlock).
		if (!QuorvaleFile::writeBlock(file, block.type, *head, [&](std::ostream& body) { return write(data, body) && bool(body); }))
		{
			Log::error(fmt::format("Cannot save '{}': its block could not be written", data.name()), kLogCategory);
			return false;
		}
		return true;
	}

	Properties QuorvaleFilePlugin::customPropertiesToSave(const Data& data) const
	{
		Properties properties;
		properties.setParam(kNameParam, data.name());
		Properties& components = properties.addSubProperties(kComponentsSet);
		for (const DataComponentBase* component : data.components().all())
		{
			if (component->isTemporary())
				continue;
			Properties& stored = components.addSubProperties(component->id());
			component->configuration(stored);
			stored.setName(component->id());
		}
		return properties;
	}

	bool QuorvaleFilePlugin::loadCustomProperties(Data& data, const Properties& properties) const
	{
		if (properties.hasParam(kNameParam))
		{
			const auto name = properties.param<std::string>(kNameParam);
			if (!name)
			{
				Log::error("The stored name of a data object is not text", kLogCategory);
				return false;
			}
			data.setName(*name);
		}
		const Properties* components = properties.subProperties(kComponentsSet);
		if (!components)
			return true;
		const std::vector<DataComponentBase*> present = data.components().all();
		for (const Properties* stored : components->allSubProperties())
		{
			DataComponentBase* match = nullptr;
			for (DataComponentBase* component : present)
				if (component->id() == stored->name())
				{
					match = component;
					break;
				}
			if (match)
				match->configure(*stored);
			else
				Log::warn(fmt::format("'{}' has a stored component '{}' that this program does not know; its settings are ignored",
				                      data.name(), stored->name()),
				          kLogCategory);
		}
		return true;
	}

	void QuorvaleFilePlugin::applyFlipToEnsureConsistency(Data& /*data*/) const {}

	bool QuorvaleFilePlugin::beginBlockWrite(const Data& data, Block& block) const
	{
		const uint32_t type = blockType(data);
		if (type == 0 || type == QuorvaleFile::kEndMarkType)
		{
			Log::error(fmt::format("Cannot save '{}': this file handler does not store that kind of data", data.name()), kLogCategory);
			return false;
		}
		setBlockType(block, type);
		const auto text = PropertiesIO::saveToString(customPropertiesToSave(data), PropertiesIO::kTextFormat);
		if (!text)
		{
			Log::error(fmt::format("Cannot save '{}': its name and components cannot be stored", data.name()), kLogCategory);
			return false;
		}
		block.properties = *text;
		block.body.clear();
		return true;
	}

	bool QuorvaleFilePlugin::endBlockWrite(const Block& block, std::ostream& file) const
	{
		const std::optional<std::string> head = payloadHead(block);
		if (!head)
			return false;
		if (!QuorvaleFile::writeBlock(file, block.type, {*head, block.body}))
		{
			Log::error(fmt::format("Writing a block of type {} failed", block.type), kLogCategory);
			return false;
		}
		return true;
	}

	std::optional<std::string> QuorvaleFilePlugin::payloadHead(const Block& block)
	{
		if (block.properties.size() > std::numeric_limits<uint32_t>::max())
		{
			Log::error("Cannot save a block: the stored name and components are too long", kLogCategory);
			return std::nullopt;
		}
		std::string head(4, '\0');
		QuorvaleFileIO::putU32(head.data(), static_cast<uint32_t>(block.properties.size()));
		return head + block.properties;
	}

	bool QuorvaleFilePlugin::beginBlockRead(uint32_t blockType, std::string payload, Block& block) const
	{
		setBlockType(block, blockType);
		if (payload.size() < 4)
		{
			Log::error(fmt::format("A block of type {} is too short to hold its properties", blockType), kLogCategory);
			return false;
		}
		const uint32_t propertiesLength = QuorvaleFileIO::getU32(payload.data());
		if (propertiesLength > payload.size() - 4)
		{
			Log::error(fmt::format("A block of type {} claims {} bytes of properties but holds {}", blockType, propertiesLength,
			                       payload.size() - 4),
			           kLogCategory);
			return false;
		}
		block.properties.assign(payload, 4, propertiesLength);
		// The body is moved, not copied: it may be large.
		payload.erase(0, 4 + size_t(propertiesLength));
		block.body = std::move(payload);
		return true;
	}

	bool QuorvaleFilePlugin::endBlockRead(const Block& block, Data& data) const
	{
		Properties properties;
		if (!block.properties.empty())
		{
			auto loaded = PropertiesIO::loadFromString(block.properties, PropertiesIO::kTextFormat);
			if (!loaded)
			{
				Log::error(fmt::format("The stored name and components of a block of type {} are unreadable", block.type), kLogCategory);
				return false;
			}
			properties = std::move(*loaded);
		}
		if (!loadCustomProperties(data, properties))
			return false;
		applyFlipToEnsureConsistency(data);
		return true;
	}

	void QuorvaleFilePlugin::setBlockType(Block& block, uint32_t type) const { block.type = type; }
}
