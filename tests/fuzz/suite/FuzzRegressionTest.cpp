#include "tests/fuzz/FuzzTarget.h"

#include "tests/common/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace Quorvale::Fuzz;

namespace
{
	/// Runs `target` on every file of `folder`/<target name>, when there is such a folder.
	void runKeptInputs(const FuzzTarget& target, const std::filesystem::path& folder)
	{
		const std::filesystem::path kept = folder / target.name;
		if (!std::filesystem::is_directory(kept))
			return;
		for (const auto& entry : std::filesystem::directory_iterator(kept))
		{
			std::ifstream in(entry.path(), std::ios::binary);
			SCOPED_TRACE(entry.path().string());
			target.run(std::string(std::istreambuf_iterator<char>(in), {}));
		}
	}
}

// Every fuzz target reads its seeds, every input kept because it once made the target fail, and
// its kept corpus; a failing check aborts the suite with the target's message. The inputs were
// kept under the memory limit the fuzz programs run with, and judged against it.
TEST(FuzzRegressionTest, SeedsAndKeptInputsPassEveryTarget)
{
	Quorvale::Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "1G");
	ASSERT_FALSE(fuzzTargets().empty());
	for (const FuzzTarget& target : fuzzTargets())
	{
		const auto seeds = target.seeds();
		EXPECT_FALSE(seeds.empty()) << target.name;
		for (const std::string& seed : seeds)
			target.run(seed);
		runKeptInputs(target, QUORVALE_FUZZ_REGRESSIONS);
		runKeptInputs(target, QUORVALE_FUZZ_CORPUS);
	}
}
