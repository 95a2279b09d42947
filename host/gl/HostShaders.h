#pragma once

#include <string>

namespace Quorvale::GL
{
	/// The repository name of the host's own shaders (the files of host/gl/shaders).
	constexpr const char* hostShaderRepositoryName = "QuorvaleHost";

	/// The resource path "QuorvaleHost/<entry>" of one of the host's shaders, registering the
	/// host's shader folder with the resource service on first use.
	std::string hostShaderPath(const std::string& entry);
}
