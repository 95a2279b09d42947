#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Quorvale
{
	/// The host's log: leveled, categorised messages delivered to the installed sinks.
	/// Levels: 0 trace, 1 debug, 2 information, 3 warning, 4 error, 5 fatal.
	/// The empty category is the default one. Safe to call from several threads.
	namespace Log
	{
		enum Level : int
		{
			Trace = 0,
			Debug = 1,
			Info = 2,
			Warning = 3,
			Error = 4,
			Fatal = 5
		};

		/// One logged message.
		struct Record
		{
			int level = Info;
			std::string category;
			std::string message;
			std::string file;
			int line = -1;
		};

		/// "[level] category: message" ("[level] message" in the default category), as `StreamSink` prints it.
		std::string format(const Record& record);

		/// Receives every accepted record. Called with the log's lock held: do not log from `write`.
		class Sink
		{
		public:
			virtual ~Sink() = default;
			virtual void write(const Record& record) = 0;
		};

		/// Prints records to standard error as "[level] category: message".
		class StreamSink : public Sink
		{
		public:
			void write(const Record& record) override;
		};

		/// Keeps every record it receives, for tests and for reporting the log of one run.
		class CaptureSink : public Sink
		{
		public:
			void write(const Record& record) override;
			std::vector<Record> records() const;
			/// The messages of the records at `level` or above, in order.
			std::vector<std::string> messages(int level = Trace) const;
			/// Number of records at exactly `level`.
			int count(int level) const;
			void clear();

		private:
			mutable std::mutex m_mutex;
			std::vector<Record> m_records;
		};

		/// Installs a sink; records are delivered to all sinks in installation order.
		void addSink(std::shared_ptr<Sink> sink);
		void removeSink(const std::shared_ptr<Sink>& sink);

		/// Records below this level are not accepted (default 2, information).
		void setMinimumLevel(int level);
		int minimumLevel();

		/// True when a message of this level and category would be delivered.
		bool isAccepted(int level, const std::string& category);

		/// Delivers the message to every sink when it is accepted.
		void log(int level, const std::string& category, const std::string& message, const std::string& file = {}, int line = -1);

		/// Shorthands for the default or a named category.
		void info(const std::string& message, const std::string& category = {});
		void warn(const std::string& message, const std::string& category = {});
		void error(const std::string& message, const std::string& category = {});

		/// Installs a capture sink for the lifetime of the object (tests and runs that report their log).
		class ScopedCapture
		{
		public:
			ScopedCapture();
			~ScopedCapture();
			ScopedCapture(const ScopedCapture&) = delete;
			ScopedCapture& operator=(const ScopedCapture&) = delete;
			CaptureSink& sink() { return *m_sink; }
			const CaptureSink* operator->() const { return m_sink.get(); }

		private:
			std::shared_ptr<CaptureSink> m_sink;
		};
	}
}
