#include "tests/fuzz/FuzzTarget.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace Quorvale::Fuzz;

// Every fuzz target reads its seeds and every input kept because it once made the target fail;
// a failing check aborts the suite with the target's message.
TEST(FuzzRegressionTest, SeedsAndKeptInputsPassEveryTarget)
{
	ASSERT_FALSE(fuzzTargets().empty());
	for (const FuzzTarget& target : fuzzTargets())
	{
		const auto seeds = target.seeds();
		EXPECT_FALSE(seeds.empty()) << target.name;
		for (const std::string& seed : seeds)
			target.run(seed);
		const std::filesystem::path kept = std::filesystem::path(QUORVALE_FUZZ_REGRESSIONS) / target.name;
		if (!std::filesystem::is_directory(kept))
			continue;
		for (const auto& entry : std::filesystem::directory_iterator(kept))
		{
			std::ifstream in(entry.path(), std::ios::binary);
			SCOPED_TRACE(entry.path().string());
			target.run(std::string(std::istreambuf_iterator<char>(in), {}));
		}
	}
}
