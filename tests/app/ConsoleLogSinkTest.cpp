#include "app/ConsoleLogSink.h"

#include <string>

#include <gtest/gtest.h>

using namespace Quorvale;

namespace
{
	Log::Record record(int level, const std::string& message) { return Log::Record{level, "", message, "", -1}; }
}

// Errors wait for the outermost hold to end, in the order logged; those the caller reports itself
// (dropped by the hold they were logged under) are never printed; everything else prints at once.
TEST(ConsoleLogSinkTest, AHoldKeepsBackErrorsUntilItEndsAndForgetsThoseItsCallerReports)
{
	ConsoleLogSink console;
	testing::internal::CaptureStderr();
	std::string whileHeld;
	{
		ConsoleLogSink::ErrorHold outer;
		console.write(record(Log::Error, "first"));
		console.write(record(Log::Info, "note"));
		{
			ConsoleLogSink::ErrorHold inner;
			console.write(record(Log::Fatal, "second"));
			console.write(record(Log::Error, "reported"));
			inner.drop("first"); // logged before this hold began
			inner.drop("reported");
		}
		console.write(record(Log::Warning, "careful"));
		console.write(record(Log::Error, "third"));
		whileHeld = testing::internal::GetCapturedStderr();
		testing::internal::CaptureStderr();
	}
	console.write(record(Log::Error, "unheld"));
	EXPECT_EQ(whileHeld, "[info] note\n[warning] careful\n");
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "[error] first\n[fatal] second\n[error] third\n[error] unheld\n");
}
