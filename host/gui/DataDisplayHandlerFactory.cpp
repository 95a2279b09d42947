#include "host/gui/DataDisplayHandlerFactory.h"

#include <algorithm>

#include "host/core/Log.h"

namespace Quorvale
{
	DataDisplayHandlerFactory& DataDisplayHandlerFactory::get()
	{
		static DataDisplayHandlerFactory factory;
		return factory;
	}

	bool DataDisplayHandlerFactory::registerHandler(const std::string& name, Creator creator)
	{
		if (name.empty() || !creator)
			return false;
		auto& creators = get().m_creators;
		auto it = std::find_if(creators.begin(), creators.end(), [&name](const auto& entry) { return entry.first == name; });
		if (it != creators.end())
			it->second = std::move(creator);
		else
			creators.emplace_back(name, std::move(creator));
		Log::log(Log::Debug, "", "Registered display handler " + name);
		return true;
	}

	void DataDisplayHandlerFactory::unregisterHandler(const std::string& name)
	{
		auto& creators = get().m_creators;
		creators.erase(std::remove_if(creators.begin(), creators.end(), [&name](const auto& entry) { return entry.first == name; }),
		               creators.end());
	}

	std::vector<std::string> DataDisplayHandlerFactory::names() const
	{
		std::vector<std::string> out;
		for (const auto& entry : m_creators)
			out.push_back(entry.first);
		return out;
	}

	std::unique_ptr<DataDisplayHandler> DataDisplayHandlerFactory::create(const std::string& name) const
	{
		for (const auto& entry : m_creators)
			if (entry.first == name)
				return entry.second();
		return nullptr;
	}
}
