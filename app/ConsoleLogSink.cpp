#include "app/ConsoleLogSink.h"

#include <cstdio>

#include "app/TerminalProgress.h"

namespace Quorvale
{
	void ConsoleLogSink::write(const Log::Record& record)
	{
		const std::string line = Log::format(record);
		if (TerminalProgress* bar = TerminalProgress::shown())
			bar->printAbove(line);
		else
			std::fprintf(stderr, "%s\n", line.c_str());
	}
}
