#include "host/core/Resource/Repository.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "host/core/Resource/FolderRepository.h"

namespace Quorvale::Resource
{
	namespace
	{
		class FixedRepository : public Repository
		{
		public:
			FixedRepository(std::string name, std::string content)
			    : m_name(std::move(name))
			    , m_content(std::move(content))
			{
			}
			std::string name() const override { return m_name; }
			bool has(std::string_view entry) const override { return entry == "a.comp"; }
			std::optional<ByteBuffer> get(std::string_view entry) const override
			{
				return has(entry) ? std::optional<ByteBuffer>(ByteBuffer::fromString(m_content)) : std::nullopt;
			}

		private:
			std::string m_name, m_content;
		};
	}

	TEST(RepositoryTest, PathsReachTheNewestRepositoryOfTheirName)
	{
		FixedRepository older("Shaders", "old"), newer("Shaders", "new");
		addRepository(&older);
		addRepository(&newer);
		addRepository(&newer);
		EXPECT_EQ(get("Shaders/a.comp")->toString(), "new");
		removeRepository(&newer);
		EXPECT_EQ(get("Shaders/a.comp")->toString(), "old");
		for (const char* miss : {"Shaders/b.comp", "a.comp", "/a.comp", "Other/a.comp", "shaders/a.comp"})
			EXPECT_FALSE(get(miss)) << miss;
		removeRepository(&older);
		EXPECT_FALSE(has("Shaders/a.comp"));
	}

	TEST(RepositoryTest, AFolderRepositoryServesOnlyFilesInsideItsFolder)
	{
		const std::filesystem::path root = std::filesystem::temp_directory_path() / "quorvale-folder-repository";
		std::filesystem::create_directories(root / "inner" / "sub");
		std::ofstream(root / "inner" / "sub" / "x.comp") << "inside";
		std::ofstream(root / "outside.txt") << "outside";
		FolderRepository repository("Folder", root / "inner");
		addRepository(&repository);
		EXPECT_EQ(get("Folder/sub/x.comp")->toString(), "inside");
		for (const char* miss : {"sub", "sub/y.comp", "../outside.txt", "sub/../../outside.txt", "/etc/passwd", ""})
			EXPECT_FALSE(repository.has(miss)) << miss;
		removeRepository(&repository);
		std::filesystem::remove_all(root);
	}
}
