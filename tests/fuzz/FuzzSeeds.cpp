// Writes the seed corpus of every fuzz target: DIR/<target>/seed-<n>.
#include "tests/fuzz/FuzzTarget.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv)
{
	if (argc != 2)
	{
		std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
		return 2;
	}
	for (const auto& target : Quorvale::Fuzz::fuzzTargets())
	{
		const std::filesystem::path folder = std::filesystem::path(argv[1]) / target.name;
		std::filesystem::create_directories(folder);
		int n = 0;
		for (const std::string& seed : target.seeds())
			std::ofstream(folder / ("seed-" + std::to_string(n++)), std::ios::binary) << seed;
	}
	return 0;
}
