#include "host/lib/IoAlgorithm.h"

#include "host/core/Properties.h"
#include "host/core/String.h"

#include <filesystem>

namespace Quorvale
{
	IoAlgorithm::IoAlgorithm(IoMode mode, int locationKinds)
	    : m_ioMode(mode)
	    , m_locationKinds(locationKinds)
	{
	}

	std::string IoAlgorithm::suggestedSaveFileName() const
	{
		const auto extensions = supportedFileExtensions();
		const auto& data = factoryInfo().data;
		std::string stem = !data.isEmpty() && !data.get(0)->name().empty() ? data.get(0)->name() : "data";
		return extensions.empty() ? stem : stem + "." + extensions.front();
	}

	bool IoAlgorithm::canLoad(const std::string& location) const
	{
		std::string extension = std::filesystem::path(location).extension().string();
		if (!extension.empty() && extension.front() == '.')
			extension.erase(0, 1);
		extension = String::toLowerCopy(extension);
		for (const auto& supported : supportedFileExtensions())
			if (String::toLowerCopy(supported) == extension)
				return true;
		return false;
	}

	void IoAlgorithm::configureFromGlobalSettings() { configure(globalSettings()); }

	Properties& IoAlgorithm::globalSettings()
	{
		static Properties settings;
		return settings;
	}
}
