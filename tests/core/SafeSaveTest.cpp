#include "host/core/SafeSave.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <fcntl.h>
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

TEST_F(SafeSaveTest, ALinkToAFileNotMadeYetMakesThatFile)
{
	fs::create_directories(path("made"));
	fs::create_symlink("made/new.qvf", path("link.qvf"));
	fs::create_symlink(path("link.qvf"), path("chain.qvf"));
	fs::create_symlink("missing/new.qvf", path("nowhere.qvf"));
	EXPECT_EQ(save(path("chain.qvf"), "new"), "");
	EXPECT_TRUE(fs::is_symlink(path("chain.qvf")) && fs::is_symlink(path("link.qvf")));
	EXPECT_EQ(read(path("made/new.qvf")), "new");
	EXPECT_EQ(save(path("nowhere.qvf"), "new").rfind("cannot create a file in its folder", 0), 0u);
	EXPECT_TRUE(fs::is_symlink(path("nowhere.qvf")));
	fs::create_symlink("loop.qvf", path("loop.qvf"));
	EXPECT_EQ(save(path("loop.qvf"), "new"), "cannot follow the link: too many levels of links");
}

// A named pipe is written in place when a program reads it; one that nothing reads is refused at
// once, also by the check made before a long computation, which keeps a reader's pipe open.
TEST_F(SafeSaveTest, ANamedPipeIsWrittenOnlyWhenSomethingReadsIt)
{
	ASSERT_EQ(::mkfifo(path("pipe.nii").c_str(), 0600), 0);
	EXPECT_EQ(SafeSave::checkTarget(path("pipe.nii")), "it is a named pipe that no program reads");
	EXPECT_EQ(save(path("pipe.nii"), "data"), "it is a named pipe that no program reads");

	const int reader = ::open(path("pipe.nii").c_str(), O_RDONLY | O_NONBLOCK);
	ASSERT_GE(reader, 0);
	EXPECT_EQ(SafeSave::checkTarget(path("pipe.nii")), "");
	EXPECT_EQ(save(path("pipe.nii"), "data"), "");
	char received[16] = {};
	EXPECT_EQ(::read(reader, received, sizeof received), 4);
	EXPECT_EQ(std::string(received), "data");
	// The writer is gone: the reader sees the end.
	EXPECT_EQ(::read(reader, received, sizeof received), 0);
	::close(reader);
	EXPECT_EQ(SafeSave::checkTarget(path("plain.nii")), "");
	EXPECT_TRUE(fs::is_fifo(path("pipe.nii")));
}
