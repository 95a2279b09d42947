#include "app/ConsoleLogSink.h"

#include <cstdio>

#include "app/TerminalProgress.h"

namespace Quorvale
{
	void ConsoleLogSink::write(const Log::Record& record)
	{
		std::string line = Log::format(record);
		// A message that ends in a line feed of its own would leave an empty line.
		while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
			line.pop_back();
		if (TerminalProgress* bar = TerminalProgress::shown())
			bar->printAbove(line);
		else
			std::fprintf(stderr, "%s\n", line.c_str());
	}
}
