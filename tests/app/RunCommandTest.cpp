#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/RunCommand.h"
#include "host/lib/NiftiIo.h"
#include "host/lib/SharedImageSet.h"
#include "tests/app/ProgramTestSupport.h"

using namespace Quorvale;
using namespace ProgramTestSupport;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace
{
	/// A scratch folder holding "in.nii.gz", a 4x3x2 ramp (voxel k holds k / 10); runs start in it.
	class RunCommandTest : public ::testing::Test
	{
	protected:
		void SetUp() override { NiftiIo::save(*rampImage(Eigen::Vector3i(4, 3, 2)), input); }

		ProgramRun run(const std::string& arguments) { return runProgram("run " + arguments, folder); }

		std::vector<double> outputVoxels(const std::string& name) { return voxels(*NiftiIo::load(folder.file(name))); }

		TemporaryFolder folder;
		const std::string input = folder.file("in.nii.gz");
	};

	std::vector<double> ramp(double scale = 1.0)
	{
		std::vector<double> values;
		for (int k = 0; k < 24; ++k)
			values.push_back(scale * static_cast<double>(static_cast<float>(k) / 10.0f));
		return values;
	}
}

TEST_F(RunCommandTest, ThresholdWritesTheExpectedMask)
{
	const auto result = run("Test.Threshold in.nii.gz --set threshold=0.5 --set mode=Below -o out.nii.gz");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	// A result without a name is named after its file.
	EXPECT_THAT(result.out, HasSubstr("Wrote image set 'out' to out.nii.gz"));
	EXPECT_THAT(result.err, Not(HasSubstr("[#"))) << "no progress bar when standard error is not a terminal";

	const auto mask = NiftiIo::load(folder.file("out.nii.gz"));
	ASSERT_EQ(mask->size(), 1);
	EXPECT_EQ(mask->get(0)->descriptor().pixelType(), ImageDescriptor::UnsignedChar);
	EXPECT_EQ(mask->get(0)->descriptor().dimensions(), Eigen::Vector3i(4, 3, 2));
	EXPECT_TRUE(mask->get(0)->descriptor().spacing().isApprox(Eigen::Vector3d(1, 2, 3)));
	std::vector<double> expected;
	for (double value : ramp())
		expected.push_back(value < 0.5 ? 1 : 0);
	EXPECT_EQ(voxels(*mask), expected);
}

TEST_F(RunCommandTest, ParametersKeepTheirDefaultsAndAcceptOptionalsAndNumbers)
{
	// Defaults: threshold 0, mode Above; the optional label replaces the 1.
	auto result = run("Threshold in.nii.gz --set label=7 -o above.nii.gz");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	std::vector<double> expected(24, 7);
	expected[0] = 0;
	EXPECT_EQ(outputVoxels("above.nii.gz"), expected);

	result = run("Threshold in.nii.gz --set label=none --set mode=1 --set 'threshold=0.15' -o below.nii.gz");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(outputVoxels("below.nii.gz"),
	            testing::ElementsAreArray({1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(RunCommandTest, UnknownAlgorithmsAreNamedWithTheirCloseCandidates)
{
	auto result = run("Test.Treshold in.nii.gz -o out.nii.gz");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, AllOf(HasSubstr("Unknown algorithm 'Test.Treshold'"), HasSubstr("Test.Threshold")));
	EXPECT_THAT(result.err, Not(HasSubstr("Test.Copy")));

	result = run("Frobnicate in.nii.gz");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, AllOf(HasSubstr("Unknown algorithm 'Frobnicate'"), HasSubstr("quorvale algorithms")));
	EXPECT_THAT(folder.fileNames(), ElementsAre("in.nii.gz"));
}

TEST_F(RunCommandTest, UnknownParametersAndUnreadableValuesListTheParameters)
{
	for (const char* setting : {"treshold=0.5", "threshold=half", "mode=Sideways", "label=seven", "threshold"})
	{
		const auto result = run(std::string("Test.Threshold in.nii.gz --set ") + setting + " -o out.nii.gz");
		EXPECT_EQ(result.exitCode, 1) << setting;
		EXPECT_THAT(result.err, HasSubstr(". Parameters of Test.Threshold:\n"
		                                  "  NAME       TYPE         VALUE  ALLOWED\n"
		                                  "  threshold  double       0\n"
		                                  "  mode       enumeration  Above  Above, Below\n"
		                                  "  label      optint       unset\n"))
		    << setting;
	}
	EXPECT_THAT(run("Test.Threshold in.nii.gz --set treshold=0.5").err, HasSubstr("Unknown parameter 'treshold'"));
	EXPECT_THAT(run("Test.Threshold in.nii.gz --set mode=Sideways").err, HasSubstr("Cannot read 'Sideways'"));
	// Nothing ran, so nothing was written.
	EXPECT_THAT(folder.fileNames(), ElementsAre("in.nii.gz"));
}

TEST_F(RunCommandTest, InputsThatCannotBeUsedAreReported)
{
	auto result = run("Test.Threshold missing.nii.gz -o out.nii.gz");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("Input file not found: missing.nii.gz"));

	std::filesystem::copy_file(input, folder.file("in.txt"));
	result = run("Test.Threshold in.txt -o out.nii.gz");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, AllOf(HasSubstr("Unknown file type of 'in.txt'"), HasSubstr(".nii.gz")));

	// Two images where one is expected; Invert takes float images only.
	result = run("Test.Threshold in.nii.gz in.nii.gz -o out.nii.gz");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("Algorithm Test.Threshold does not accept the inputs given: image set 'in' (in.nii.gz), image set "
	                                  "'in' (in.nii.gz)"));
	NiftiIo::save(*byteImage(Eigen::Vector3i(2, 2, 2)), folder.file("bytes.nii"));
	result = run("Test.Invert bytes.nii");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("Algorithm Test.Invert does not accept the inputs given: image set 'bytes' (bytes.nii). It takes one image set\n"));
	result = run("Test.Threshold");
	EXPECT_EQ(result.exitCode, 1);
	// What it takes is said as 'quorvale algorithms' lists it.
	EXPECT_THAT(result.err, HasSubstr("does not accept the inputs given: no inputs. It takes one image set; one label map (8-bit image set)"));
}

// The error the algorithm logged is printed once, in the failure line.
TEST_F(RunCommandTest, AFailingAlgorithmReportsItsStatusAndLog)
{
	for (const auto& [settings, line] : {std::pair{"", "quorvale: error: Algorithm Test.Fail failed with status 2 (invalid input): "},
	                                     {"--set status=0", "quorvale: error: Algorithm Test.Fail reported an error: "}})
	{
		const auto result = run(std::string("Test.Fail in.nii.gz -o out.nii.gz ") + settings);
		EXPECT_EQ(result.exitCode, 1);
		EXPECT_EQ(result.err, std::string(line) + "This algorithm refuses every input\n");
	}
	auto result = run("Test.Fail in.nii.gz -o out.nii.gz");

	result = run("Test.Threshold in.nii.gz --set label=300 -o out.nii.gz");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, AllOf(HasSubstr("The label must lie between 1 and 255, not 300"), HasSubstr("status 2 (invalid input)")));
	EXPECT_THAT(folder.fileNames(), ElementsAre("in.nii.gz"));
}

TEST_F(RunCommandTest, AnAlgorithmWorkingInPlaceHasItsChangedInputWritten)
{
	auto result = run("Test.Invert in.nii.gz -o inverted.nii.gz");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(result.out, HasSubstr("inverted.nii.gz"));
	EXPECT_EQ(outputVoxels("inverted.nii.gz"), ramp(-1.0));
	EXPECT_EQ(outputVoxels("in.nii.gz"), ramp()) << "the input file stays as it was";

	// Without -o the name comes from the algorithm and the input.
	result = run("Test.Invert in.nii.gz");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(result.out, HasSubstr("Invert-in.nii.gz"));
	EXPECT_EQ(outputVoxels("Invert-in.nii.gz"), ramp(-1.0));
}

TEST_F(RunCommandTest, SeveralResultsAreNumbered)
{
	auto result = run("Test.Copy in.nii.gz --set count=3 -o copies.nii.gz");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(folder.fileNames(), ElementsAre("copies-1.nii.gz", "copies-2.nii.gz", "copies-3.nii.gz", "in.nii.gz"));
	for (const char* name : {"copies-1.nii.gz", "copies-2.nii.gz", "copies-3.nii.gz"})
	{
		EXPECT_THAT(result.out, HasSubstr(name));
		EXPECT_EQ(outputVoxels(name), ramp()) << name;
	}

	// Default names: algorithm and result name, made safe for a file name, in the current folder.
	result = run("Copy in.nii.gz");
	ASSERT_EQ(result.exitCode, 0) << result.err;
	EXPECT_THAT(result.out, AllOf(HasSubstr("Copy-copy_1.nii.gz"), HasSubstr("Copy-copy_2.nii.gz")));
	EXPECT_EQ(outputVoxels("Copy-copy_2.nii.gz"), ramp());
}

TEST_F(RunCommandTest, ResultsNoFormatCanWriteAreAnError)
{
	auto result = run("Test.BareData in.nii.gz -o note.nii.gz");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("Cannot write data of an unknown kind 'note' to 'note.nii.gz'"));

	result = run("Test.BareData in.nii.gz");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("Algorithm Test.BareData produced data of an unknown kind 'note', which no file format can hold"));

	// An output name of no known type is refused before the algorithm runs.
	result = run("Test.Fail in.nii.gz -o out.png");
	EXPECT_EQ(result.exitCode, 1);
	EXPECT_THAT(result.err, HasSubstr("Unknown file type of output 'out.png'"));
	EXPECT_THAT(result.err, Not(HasSubstr("refuses every input")));
	EXPECT_THAT(folder.fileNames(), ElementsAre("in.nii.gz"));
}

TEST(OutputPathsTest, NumbersSeveralResultsAndNamesDefaultsAfterAlgorithmAndResult)
{
	auto a = rampImage(Eigen::Vector3i(1, 1, 1));
	auto b = rampImage(Eigen::Vector3i(1, 1, 1));
	a->setName("mask");
	b->setName("vessel tree/2");
	EXPECT_THAT(RunCommand::outputPaths({a.get()}, "dir/out.nii.gz", "Test.Threshold"), ElementsAre("dir/out.nii.gz"));
	EXPECT_THAT(RunCommand::outputPaths({a.get(), b.get()}, "dir/out.nii.gz", "Test.Threshold"),
	            ElementsAre("dir/out-1.nii.gz", "dir/out-2.nii.gz"));
	EXPECT_THAT(RunCommand::outputPaths({a.get(), b.get()}, "", "Test.Threshold"),
	            ElementsAre("Threshold-mask.nii.gz", "Threshold-vessel_tree_2.nii.gz"));

	b->setName("mask");
	auto c = rampImage(Eigen::Vector3i(1, 1, 1));
	c->setName("");
	EXPECT_THAT(RunCommand::outputPaths({a.get(), b.get(), c.get()}, "", "Test.Threshold"),
	            ElementsAre("Threshold-mask-1.nii.gz", "Threshold-mask-2.nii.gz", "Threshold.nii.gz"));

	const Data note("note");
	try
	{
		RunCommand::outputPaths({a.get(), &note}, "", "Test.Describe");
		ADD_FAILURE() << "a result no format holds has no path";
	}
	catch (const std::runtime_error& e)
	{
		EXPECT_THAT(e.what(), HasSubstr("Algorithm Test.Describe produced data of an unknown kind 'note', which no file format can hold"));
	}
}
