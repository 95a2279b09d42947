#include "app/DataFiles.h"

#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/lib/NiftiIo.h"
#include "host/lib/SharedImageSet.h"
#include "tests/app/ProgramTestSupport.h"
#include "tests/common/ScopedEnvironment.h"

using namespace Quorvale;
using namespace ProgramTestSupport;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(DataFilesTest, ChoosesTheFormatByTheLongestExtensionIgnoringCase)
{
	ASSERT_NE(DataFiles::formatOf("a.nii.gz"), nullptr);
	EXPECT_EQ(DataFiles::formatOf("a.nii.gz")->name, "NIfTI");
	EXPECT_EQ(DataFiles::formatOf("dir/A.NII"), DataFiles::formatOf("a.nii.gz"));
	EXPECT_EQ(DataFiles::formatOf("a.gz"), nullptr);
	EXPECT_EQ(DataFiles::formatOf(".nii"), nullptr) << "a hidden file named .nii has no extension";
	EXPECT_EQ(DataFiles::formatOf("volume.nii/readme"), nullptr);

	EXPECT_EQ(DataFiles::extensionOf("out/scan.NII.GZ"), ".NII.GZ");
	EXPECT_EQ(DataFiles::extensionOf("scan.tar.gz"), ".gz");
	EXPECT_EQ(DataFiles::extensionOf("scan"), "");
}

TEST(DataFilesTest, LoadsAndSavesImageSetsAndRefusesWhatItCannotHold)
{
	TemporaryFolder folder;
	DataFiles::save(*rampImage(Eigen::Vector3i(2, 2, 1)), folder.file("ramp.nii.gz"));
	const auto files = DataFiles::load(folder.file("ramp.nii.gz"));
	ASSERT_EQ(files.size(), 1u);
	const auto& loaded = files.front();
	ASSERT_NE(dynamic_cast<SharedImageSet*>(loaded.get()), nullptr);
	EXPECT_EQ(voxels(dynamic_cast<SharedImageSet&>(*loaded)), (std::vector<double>{0, 0.1f, 0.2f, 0.3f}));
	EXPECT_EQ(DataFiles::describeKind(*loaded), "image set");

	// One NIfTI file holds one volume: a set of two would lose one of them.
	auto pair = rampImage(Eigen::Vector3i(2, 2, 1));
	pair->add(pair->get(0)->clone());
	EXPECT_THAT(errorOf([&] { DataFiles::save(*pair, folder.file("pair.nii")); }), HasSubstr("holds one image, the set has 2"));
	EXPECT_THAT(errorOf([&] { DataFiles::save(SharedImageSet("empty"), folder.file("empty.nii")); }), HasSubstr("the set has 0"));
	EXPECT_THAT(errorOf([&] { DataFiles::save(Data("note"), folder.file("note.nii")); }),
	            HasSubstr("Cannot write data of an unknown kind 'note'"));
	EXPECT_THAT(errorOf([&] { DataFiles::save(*pair, folder.file("pair.png")); }), HasSubstr("Unknown file type of"));
	EXPECT_THAT(folder.fileNames(), ElementsAre("ramp.nii.gz"));
}

TEST(DataFilesTest, LoadReportsMissingUnknownAndBrokenFiles)
{
	TemporaryFolder folder;
	EXPECT_EQ(errorOf([&] { DataFiles::load(folder.file("none.nii")); }), "Input file not found: " + folder.file("none.nii"));
	EXPECT_THAT(errorOf([&] { DataFiles::load(folder.path().string()); }), HasSubstr("is a folder"));
	std::ofstream(folder.file("notes.txt")) << "text";
	EXPECT_THAT(errorOf([&] { DataFiles::load(folder.file("notes.txt")); }),
	            AllOf(HasSubstr("Unknown file type"), HasSubstr(".nii.gz (NIfTI), .nii (NIfTI)")));
	std::ofstream(folder.file("broken.nii")) << "not a volume";
	EXPECT_THAT(errorOf([&] { DataFiles::load(folder.file("broken.nii")); }), HasSubstr("broken.nii"));
}

// An image of a data file that needs more memory than the limit allows is a lack of memory, not damage.
TEST(DataFilesTest, ADataFileImageBeyondTheMemoryLimitIsNotCalledDamaged)
{
	TemporaryFolder folder;
	DataFiles::save(*byteImage({64, 64, 64}), folder.file("image.qvf"));
	Testing::ScopedEnvironment limit("QUORVALE_MEMORY_LIMIT", "100K");
	const std::string message = errorOf([&] { DataFiles::load(folder.file("image.qvf")); });
	EXPECT_THAT(message, HasSubstr("The data file '" + folder.file("image.qvf") + "' needs more memory than there is:"));
	EXPECT_THAT(message, HasSubstr("does not fit in memory: An image of 64 x 64 x 64 voxels would need 262 kB of memory"));
	EXPECT_THAT(message, ::testing::Not(HasSubstr("damaged")));
}
