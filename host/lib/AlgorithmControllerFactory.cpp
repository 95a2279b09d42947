#include "host/lib/AlgorithmControllerFactory.h"

#include "host/lib/FactoryRegistry.h"

namespace Quorvale
{
	AlgorithmControllerFactory::AlgorithmControllerFactory(std::string name)
	    : m_name(std::move(name))
	{
	}

	AlgorithmControllerFactory::~AlgorithmControllerFactory() = default;

	std::vector<std::string> AlgorithmControllerFactory::compatibleDataControllers(const DataList& data) const
	{
		std::vector<std::string> names;
		for (const auto& [name, creator] : m_dataControllers)
		{
			std::string accepted = creator(data, std::string(), nullptr);
			if (!accepted.empty())
				names.push_back(accepted);
		}
		return names;
	}

	DataController* AlgorithmControllerFactory::createDataController(const std::string& name, const DataList& data) const
	{
		for (const auto& [registered, creator] : m_dataControllers)
		{
			if (registered != name)
				continue;
			DataController* created = nullptr;
			creator(data, name, &created);
			return created;
		}
		return nullptr;
	}

	std::vector<std::string> AlgorithmControllerFactory::dataControllerNames() const
	{
		std::vector<std::string> names;
		for (const auto& entry : m_dataControllers)
			names.push_back(entry.first);
		return names;
	}

	bool AlgorithmControllerFactory::isNameTaken(const std::string& name) const
	{
		const std::string wanted = String::toLowerCopy(AlgorithmUtils::parseAlgorithmName(name, nullptr));
		for (const AlgorithmControllerFactory* factory : FactoryRegistry::get().getAlgorithmControllerFactories())
			for (const auto& existing : factory->dataControllerNames())
				if (String::toLowerCopy(AlgorithmUtils::parseAlgorithmName(existing, nullptr)) == wanted)
					return true;
		return false;
	}
}
