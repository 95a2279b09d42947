#include "host/core/Log.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace Quorvale::Log
{
	namespace
	{
		struct LogState
		{
			std::mutex mutex;
			std::vector<std::shared_ptr<Sink>> sinks;
			std::atomic<int> minimumLevel{Info};
		};

		LogState& state()
		{
			// Never destroyed: messages may still be logged while static objects are torn down.
			static LogState* s = new LogState;
			return *s;
		}

		const char* levelName(int level)
		{
			switch (level)
			{
				case Trace: return "trace";
				case Debug: return "debug";
				case Info: return "info";
				case Warning: return "warning";
				case Error: return "error";
				default: return "fatal";
			}
		}
	}

	std::string format(const Record& record)
	{
		return "[" + std::string(levelName(record.level)) + "] " + (record.category.empty() ? "" : record.category + ": ") + record.message;
	}

	void StreamSink::write(const Record& record) { std::fprintf(stderr, "%s\n", format(record).c_str()); }

	void CaptureSink::write(const Record& record)
	{
		std::lock_guard lock(m_mutex);
		m_records.push_back(record);
	}

	std::vector<Record> CaptureSink::records() const
	{
		std::lock_guard lock(m_mutex);
		return m_records;
	}

	std::vector<std::string> CaptureSink::messages(int level) const
	{
		std::lock_guard lock(m_mutex);
		std::vector<std::string> out;
		for (const auto& r : m_records)
			if (r.level >= level)
				out.push_back(r.message);
		return out;
	}

	int CaptureSink::count(int level) const
	{
		std::lock_guard lock(m_mutex);
		return static_cast<int>(std::count_if(m_records.begin(), m_records.end(), [level](const Record& r) { return r.level == level; }));
	}

	void CaptureSink::clear()
	{
		std::lock_guard lock(m_mutex);
		m_records.clear();
	}

	void addSink(std::shared_ptr<Sink> sink)
	{
		if (!sink)
			return;
		std::lock_guard lock(state().mutex);
		state().sinks.push_back(std::move(sink));
	}

	void removeSink(const std::shared_ptr<Sink>& sink)
	{
		std::lock_guard lock(state().mutex);
		auto& sinks = state().sinks;
		sinks.erase(std::remove(sinks.begin(), sinks.end(), sink), sinks.end());
	}

	void setMinimumLevel(int level) { state().minimumLevel = level; }

	int minimumLevel() { return state().minimumLevel; }

	bool isAccepted(int level, const std::string& /*category*/) { return level >= state().minimumLevel; }

	void log(int level, const std::string& category, const std::string& message, const std::string& file, int line)
	{
		if (!isAccepted(level, category))
			return;
		Record record{level, category, message, file, line};
		std::lock_guard lock(state().mutex);
		for (const auto& sink : state().sinks)
			sink->write(record);
	}

	void info(const std::string& message, const std::string& category) { log(Info, category, message); }

	void warn(const std::string& message, const std::string& category) { log(Warning, category, message); }

	void error(const std::string& message, const std::string& category) { log(Error, category, message); }

	ScopedCapture::ScopedCapture()
	    : m_sink(std::make_shared<CaptureSink>())
	{
		addSink(m_sink);
	}

	ScopedCapture::~ScopedCapture() { removeSink(m_sink); }
}
