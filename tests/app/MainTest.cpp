#include <cstdlib>
#include <optional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/lib/NiftiIo.h"
#include "host/lib/SharedImageSet.h"
#include "tests/app/ProgramTestSupport.h"

using namespace ProgramTestSupport;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(MainTest, AnUnknownCommandIsNamedWithTheCommandsThereAre)
{
	TemporaryFolder folder;
	const auto run = runProgram("frobnicate", folder);
	EXPECT_EQ(run.exitCode, 1);
	EXPECT_THAT(run.err, HasSubstr("Unknown command 'frobnicate'; the commands are plugins, algorithms, run, convert, demo, view"));
	EXPECT_THAT(runProgram("", folder).err, HasSubstr("A subcommand is required"));
}

TEST(MainTest, QtsNotesOnHowTheProgramRunsItAreNotShown)
{
	TemporaryFolder folder;
	Quorvale::NiftiIo::save(*byteImage(Eigen::Vector3i(4, 4, 4)), folder.file("labels.nii.gz"));
	// Qt notes a missing XDG_RUNTIME_DIR once per run.
	std::optional<std::string> runtime;
	if (const char* set = std::getenv("XDG_RUNTIME_DIR"))
		runtime = set;
	::unsetenv("XDG_RUNTIME_DIR");
	const auto run = runProgram("view labels.nii.gz --screenshot view.png", folder);
	if (runtime)
		::setenv("XDG_RUNTIME_DIR", runtime->c_str(), 1);
	EXPECT_THAT(run.err, Not(HasSubstr("XDG_RUNTIME_DIR")));
	EXPECT_THAT(run.err, Not(HasSubstr("propagateSizeHints")));
}
