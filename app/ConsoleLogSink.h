#pragma once

#include "host/core/Log.h"

namespace Quorvale
{
	/// The program's log on standard error: each record on a line of its own (without the line feeds a
	/// message may end in), above the progress bar when one is shown (`TerminalProgress::shown`),
	/// which is redrawn after it.
	class ConsoleLogSink : public Log::Sink
	{
	public:
		void write(const Log::Record& record) override;
	};
}
