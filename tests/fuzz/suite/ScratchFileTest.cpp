#include "tests/fuzz/targets/FuzzFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

using Quorvale::Fuzz::ScratchFile;

// Writers look at the entries beside the file they write, so what other programs leave in the
// system's shared folder must not reach a fuzz program's scratch files.
TEST(ScratchFileTest, LivesAloneInAFolderOfItsOwn)
{
	const std::filesystem::path shared = std::filesystem::path(ScratchFile::folder()).parent_path();
	const std::filesystem::path stray = shared / "quorvale-fuzz-stray-entry";
	std::ofstream(stray) << "left by another program";

	{
		ScratchFile file(".graphml");
		file.write("<graphml/>");
		EXPECT_EQ(file.read(), "<graphml/>");
		std::set<std::filesystem::path> entries;
		for (const auto& entry : std::filesystem::directory_iterator(ScratchFile::folder()))
			entries.insert(entry.path());
		EXPECT_EQ(entries, std::set<std::filesystem::path>{file.path()});
	}
	EXPECT_TRUE(std::filesystem::is_empty(ScratchFile::folder()));
	std::filesystem::remove(stray);
}
