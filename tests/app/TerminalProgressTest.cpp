#include "app/TerminalProgress.h"

#include "app/ConsoleLogSink.h"

#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

using namespace Quorvale;

namespace
{
	std::string contents(std::FILE* stream)
	{
		std::rewind(stream);
		std::string written;
		for (int c; (c = std::fgetc(stream)) != EOF;)
			written.push_back(static_cast<char>(c));
		std::fclose(stream);
		return written;
	}
}

TEST(TerminalProgressTest, DrawsABarAndClearsItsLine)
{
	EXPECT_EQ(TerminalProgress::render(0.5, "reading", 10), "[#####-----]  50%  reading");
	EXPECT_EQ(TerminalProgress::render(1.7, "", 4), "[####] 100%");
	EXPECT_EQ(TerminalProgress::render(-1, "", 4), "[----]   0%");
	EXPECT_EQ(TerminalProgress::render(std::nan(""), "", 4), "[----]   0%");

	std::FILE* stream = std::tmpfile();
	ASSERT_NE(stream, nullptr);
	{
		TerminalProgress progress(stream);
		progress.update(0.25, "long step name");
		progress.update(0.25, "long step name"); // unchanged: not drawn again
		progress.update(0.5);
	}
	const std::string written = contents(stream);
	const std::string first = TerminalProgress::render(0.25, "long step name");
	const std::string second = TerminalProgress::render(0.5, "");
	EXPECT_EQ(written, "\r" + first + "\r" + second + std::string(first.size() - second.size(), ' ') + "\r" +
	                       std::string(second.size(), ' ') + "\r");
}

TEST(TerminalProgressTest, LogRecordsGoOnALineOfTheirOwnAboveTheBar)
{
	std::FILE* stream = std::tmpfile();
	ASSERT_NE(stream, nullptr);
	{
		TerminalProgress progress(stream);
		EXPECT_EQ(TerminalProgress::shown(), &progress);
		progress.update(0.5, "step");
		ConsoleLogSink().write(Log::Record{Log::Warning, "Graph", "careful", "", -1});
	}
	EXPECT_EQ(TerminalProgress::shown(), nullptr);
	const std::string bar = TerminalProgress::render(0.5, "step");
	const std::string blank = "\r" + std::string(bar.size(), ' ') + "\r";
	EXPECT_EQ(contents(stream), "\r" + bar + blank + "[warning] Graph: careful\n\r" + bar + blank);
}
