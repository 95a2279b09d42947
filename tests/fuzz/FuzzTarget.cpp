#include "tests/fuzz/FuzzTarget.h"

#include <cstdio>
#include <cstdlib>

namespace Quorvale::Fuzz
{
	std::vector<FuzzTarget>& fuzzTargets()
	{
		static std::vector<FuzzTarget> targets;
		return targets;
	}

	const FuzzTarget& fuzzTarget(const std::string& name)
	{
		for (const FuzzTarget& target : fuzzTargets())
			if (target.name == name)
				return target;
		std::fprintf(stderr, "no fuzz target named '%s'\n", name.c_str());
		std::abort();
	}

	void check(bool condition, const std::string& what)
	{
		if (condition)
			return;
		std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
		std::abort();
	}
}
