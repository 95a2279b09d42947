#include "host/core/Log.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace Quorvale;

namespace
{
	/// Restores the minimum level a test changes.
	struct MinimumLevelGuard
	{
		MinimumLevelGuard()
		    : saved(Log::minimumLevel())
		{
		}
		~MinimumLevelGuard() { Log::setMinimumLevel(saved); }
		int saved;
	};

	/// Writes "<tag>:<message>" into a shared list, to see the order of delivery between sinks.
	struct TaggingSink : Log::Sink
	{
		TaggingSink(std::string tag, std::vector<std::string>& out)
		    : tag(std::move(tag))
		    , out(out)
		{
		}
		void write(const Log::Record& record) override { out.push_back(tag + ":" + record.message); }
		std::string tag;
		std::vector<std::string>& out;
	};
}

TEST(LogTest, MinimumLevelDecidesWhatIsAccepted)
{
	MinimumLevelGuard guard;
	EXPECT_EQ(Log::minimumLevel(), Log::Info);
	EXPECT_FALSE(Log::isAccepted(Log::Debug, ""));
	EXPECT_TRUE(Log::isAccepted(Log::Info, ""));

	Log::setMinimumLevel(Log::Warning);
	EXPECT_FALSE(Log::isAccepted(Log::Info, "Core.Parameter"));
	EXPECT_TRUE(Log::isAccepted(Log::Warning, "Core.Parameter"));
	EXPECT_TRUE(Log::isAccepted(Log::Fatal, ""));

	Log::ScopedCapture log;
	Log::info("dropped");
	Log::warn("kept");
	EXPECT_EQ(log->messages(), std::vector<std::string>{"kept"});
}

TEST(LogTest, CaptureKeepsWholeRecords)
{
	Log::ScopedCapture log;
	Log::log(Log::Warning, "Graph", "first", "Graph.cpp", 12);
	Log::info("second");
	Log::error("third", "IO");

	const auto records = log->records();
	ASSERT_EQ(records.size(), 3u);
	EXPECT_EQ(records[0].level, Log::Warning);
	EXPECT_EQ(records[0].category, "Graph");
	EXPECT_EQ(records[0].message, "first");
	EXPECT_EQ(records[0].file, "Graph.cpp");
	EXPECT_EQ(records[0].line, 12);
	EXPECT_EQ(records[1].level, Log::Info);
	EXPECT_EQ(records[1].category, "");
	EXPECT_EQ(records[1].line, -1);
	EXPECT_EQ(records[2].level, Log::Error);
	EXPECT_EQ(records[2].category, "IO");

	EXPECT_EQ(log->messages(Log::Warning), (std::vector<std::string>{"first", "third"}));
	EXPECT_EQ(log->count(Log::Info), 1);
	EXPECT_EQ(log->count(Log::Fatal), 0);
	log.sink().clear();
	EXPECT_TRUE(log->records().empty());
}

TEST(LogTest, EverySinkReceivesRecordsInInstallationOrder)
{
	std::vector<std::string> delivered;
	auto first = std::make_shared<TaggingSink>("1", delivered);
	auto second = std::make_shared<TaggingSink>("2", delivered);
	Log::addSink(first);
	Log::addSink(second);
	Log::addSink(nullptr); // ignored
	Log::info("a");
	Log::removeSink(first);
	Log::info("b");
	Log::removeSink(second);
	Log::info("c");
	EXPECT_EQ(delivered, (std::vector<std::string>{"1:a", "2:a", "2:b"}));

	// Captures end with their scope.
	Log::ScopedCapture outer;
	{
		Log::ScopedCapture inner;
		Log::warn("both");
		EXPECT_EQ(inner->messages(), std::vector<std::string>{"both"});
	}
	Log::warn("outer only");
	EXPECT_EQ(outer->messages(), (std::vector<std::string>{"both", "outer only"}));
}
