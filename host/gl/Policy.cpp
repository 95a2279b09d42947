#include "host/gl/Policy.h"

#include <atomic>
#include <cstdlib>
#include <string>

#include "host/core/Log.h"
#include "host/core/String.h"

namespace Quorvale::GL
{
	namespace
	{
		Policy fromEnvironment()
		{
			const char* value = std::getenv("QUORVALE_GL");
			if (std::optional<Policy> parsed = parsePolicy(value))
				return *parsed;
			Log::warn(std::string("Unknown value of QUORVALE_GL: '") + value + "' (use none or always); using the default policy", "GL");
			return Policy::Default;
		}

		std::atomic<Policy>& current()
		{
			static std::atomic<Policy> instance(fromEnvironment());
			return instance;
		}
	}

	std::optional<Policy> parsePolicy(const char* value)
	{
		if (!value || !*value)
			return Policy::Default;
		const std::string text = String::toLowerCopy(value);
		if (text == "none")
			return Policy::None;
		if (text == "always")
			return Policy::Always;
		return std::nullopt;
	}

	Policy policy() { return current().load(); }

	void setPolicy(Policy policy) { current().store(policy); }
}
