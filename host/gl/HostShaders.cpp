#include "host/gl/HostShaders.h"

#include "host/core/Resource/FolderRepository.h"

namespace Quorvale::GL
{
	std::string hostShaderPath(const std::string& entry)
	{
		// Registered once and never removed: it lives as long as the process.
		static Resource::FolderRepository* const repository = []
		{
			static Resource::FolderRepository folder(hostShaderRepositoryName, QUORVALE_HOST_SHADER_DIR);
			Resource::addRepository(&folder);
			return &folder;
		}();
		(void)repository;
		return std::string(hostShaderRepositoryName) + "/" + entry;
	}
}
