#pragma once

#include "host/core/Log.h"

#include <cstddef>
#include <string>

namespace Quorvale
{
	/// The program's log on standard error: each record on a line of its own (without the line feeds a
	/// message may end in), above the progress bar when one is shown (`TerminalProgress::shown`),
	/// which is redrawn after it.
	class ConsoleLogSink : public Log::Sink
	{
	public:
		void write(const Log::Record& record) override;

		/// While one lives, error records are held back instead of printed (other records print as they
		/// come), so that a failure the caller reports with the error's text is printed once. The caller
		/// `drop`s the errors it reports; the rest are printed, in the order they were logged, when the
		/// outermost hold ends. Holds nest; they belong to one thread, records may come from any.
		class ErrorHold
		{
		public:
			ErrorHold();
			~ErrorHold();
			ErrorHold(const ErrorHold&) = delete;
			ErrorHold& operator=(const ErrorHold&) = delete;

			/// Forgets the first error held since this hold began whose message is `message`.
			void drop(const std::string& message);

		private:
			std::size_t m_start;
		};
	};
}
