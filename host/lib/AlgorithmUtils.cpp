#include "host/lib/AlgorithmUtils.h"

#include "host/core/String.h"

namespace Quorvale::AlgorithmUtils
{
	std::string parseAlgorithmName(const std::string& menuName, std::string* path)
	{
		const auto pieces = String::split(menuName, ";");
		if (path)
		{
			path->clear();
			for (size_t i = 0; i + 1 < pieces.size(); ++i)
				*path += (i ? ";" : "") + String::trimCopy(pieces[i]);
		}
		return pieces.empty() ? String::trimCopy(menuName) : String::trimCopy(pieces.back());
	}
}
