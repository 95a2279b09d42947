#include "app/ConsoleLogSink.h"

#include <cstdio>
#include <mutex>
#include <vector>

#include "app/TerminalProgress.h"

namespace Quorvale
{
	namespace
	{
		/// The console's state is the process's: there is one standard error.
		struct HeldErrors
		{
			std::mutex mutex;
			int holds = 0;
			std::vector<Log::Record> records;
		};

		HeldErrors& held()
		{
			static HeldErrors state;
			return state;
		}

		void print(const Log::Record& record)
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

	void ConsoleLogSink::write(const Log::Record& record)
	{
		HeldErrors& state = held();
		std::lock_guard lock(state.mutex);
		if (state.holds > 0 && record.level >= Log::Error)
			state.records.push_back(record);
		else
			print(record);
	}

	ConsoleLogSink::ErrorHold::ErrorHold()
	{
		HeldErrors& state = held();
		std::lock_guard lock(state.mutex);
		++state.holds;
		m_start = state.records.size();
	}

	ConsoleLogSink::ErrorHold::~ErrorHold()
	{
		HeldErrors& state = held();
		std::lock_guard lock(state.mutex);
		if (--state.holds > 0)
			return;
		for (const Log::Record& record : state.records)
			print(record);
		state.records.clear();
	}

	void ConsoleLogSink::ErrorHold::drop(const std::string& message)
	{
		HeldErrors& state = held();
		std::lock_guard lock(state.mutex);
		for (size_t i = m_start; i < state.records.size(); ++i)
			if (state.records[i].message == message)
			{
				state.records.erase(state.records.begin() + static_cast<std::ptrdiff_t>(i));
				return;
			}
	}
}
