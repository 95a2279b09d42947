#include "host/core/Utils/Version.h"

#include <cctype>
#include <limits>
#include <tuple>

namespace Quorvale::Utils
{
	Version::Version(int major, int minor, int patch)
	    : m_major(major)
	    , m_minor(minor)
	    , m_patch(patch)
	{
	}

	Version Version::fromString(std::string_view text)
	{
		int parts[3] = {0, 0, 0};
		std::size_t pos = 0;
		for (int k = 0; k < 3; ++k)
		{
			if (k > 0)
			{
				if (pos + 1 >= text.size() || text[pos] != '.' || !std::isdigit(static_cast<unsigned char>(text[pos + 1])))
					break;
				++pos;
			}
			if (pos >= text.size() || !std::isdigit(static_cast<unsigned char>(text[pos])))
				return Version();
			long value = 0;
			while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])))
			{
				value = value * 10 + (text[pos] - '0');
				if (value > std::numeric_limits<int>::max())
					return Version();
				++pos;
			}
			parts[k] = static_cast<int>(value);
		}
		return Version(parts[0], parts[1], parts[2]);
	}

	std::string Version::toString() const
	{
		return std::to_string(m_major) + "." + std::to_string(m_minor) + "." + std::to_string(m_patch);
	}

	bool Version::operator==(const Version& other) const
	{
		return std::tie(m_major, m_minor, m_patch) == std::tie(other.m_major, other.m_minor, other.m_patch);
	}

	bool Version::operator<(const Version& other) const
	{
		return std::tie(m_major, m_minor, m_patch) < std::tie(other.m_major, other.m_minor, other.m_patch);
	}
}
