#include "host/core/SafeSave.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

using namespace Quorvale;
namespace fs = std::filesystem;

namespace
{
	class SafeSaveTest : public ::testing::Test
	{
	protected:
		void SetUp() override
		{
			m_dir = fs::temp_directory_path() / ("quorvale-safesave-" + std::to_string(::getpid()));
			fs::remove_all(m_dir);
			fs::create_directories(m_dir);
		}
		void TearDown() override { fs::remove_all(m_dir); }

		std::string path(const std::string& name) const { return (m_dir / name).string(); }

		static void write(const std::string& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
		static std::string read(const std::string& file)
		{
			std::ifstream in(file, std::ios::binary);
			return std::string(std::istreambuf_iterator<char>(in), {});
		}
		/// Writes `text` through a SafeSave of `target`; its error, empty on success.
		static std::string save(const std::string& target, const std::string& text)
		{
			SafeSave save(target);
			if (!save.ok())
				return save.error();
			const int fd = save.takeDescriptor();
			const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
			const bool closed = ::close(fd) == 0;
			if (!written || !closed)
				return "write failed";
			return save.commit() ? std::string() : save.error();
		}

		fs::path m_dir;
	};
}

TEST_F(SafeSaveTest, ALinkIsFollowedAndTheModeOfTheReplacedFileKept)
{
	write(path("data.qvf"), "old");
	fs::permissions(path("data.qvf"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
	fs::create_symlink("data.qvf", path("link.qvf"));
	EXPECT_EQ(save(path("link.qvf"), "new"), "");
	EXPECT_TRUE(fs::is_symlink(path("link.qvf")));
	EXPECT_EQ(read(path("data.qvf")), "new");
	EXPECT_EQ(fs::status(path("data.qvf")).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
	EXPECT_EQ(std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()), 2);
}

TEST_F(SafeSaveTest, AReadOnlyFileIsRefusedEvenForRootAndADeviceIsWrittenInPlace)
{
	write(path("kept.nii"), "old");
	fs::permissions(path("kept.nii"), fs::perms::owner_read | fs::perms::group_read);
	EXPECT_EQ(save(path("kept.nii"), "new"), "it is read-only");
	EXPECT_EQ(read(path("kept.nii")), "old");

	SafeSave device("/dev/null");
	EXPECT_TRUE(device.inPlace());
	EXPECT_EQ(device.writePath(), "/dev/null");
	EXPECT_TRUE(device.commit());
	EXPECT_TRUE(fs::is_character_file("/dev/null"));
	// A link to a full device: the write fails and the link is not replaced.
	fs::create_symlink("/dev/full", path("full.nii"));
	EXPECT_EQ(save(path("full.nii"), "data"), "write failed");
	EXPECT_TRUE(fs::is_symlink(path("full.nii")));
}

TEST_F(SafeSaveTest, TemporaryFilesOfAKilledWriteAreRemovedByTheNextSave)
{
	// No process has a number beyond the kernel's largest; the running test does.
	const std::string dead = path(".graph.qvf.99999999-3.tmp");
	const std::string living = path(".graph.qvf." + std::to_string(::getppid()) + "-0.tmp");
	const std::string other = path(".other.qvf.99999999-3.tmp");
	for (const std::string& file : {dead, living, other})
		write(file, "partial");
	EXPECT_EQ(save(path("graph.qvf"), "complete"), "");
	EXPECT_FALSE(fs::exists(dead));
	EXPECT_TRUE(fs::exists(living));
	EXPECT_TRUE(fs::exists(other));
	EXPECT_EQ(read(path("graph.qvf")), "complete");
}
