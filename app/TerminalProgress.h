#pragma once

#include "host/core/Progress.h"

#include <cstdio>
#include <string>

namespace Quorvale
{
	/// A one-line progress bar on a terminal stream, redrawn in place ("[#####-----]  50%  step").
	/// Only redraws when the shown text changes, so frequent updates cost little.
	class TerminalProgress : public Progress
	{
	public:
		/// Draws on `stream` (not owned), which should be a terminal.
		explicit TerminalProgress(std::FILE* stream);
		/// Calls `finish`.
		~TerminalProgress() override;

		/// Redraws the bar; the fraction is clamped to 0..1.
		void update(double fraction, const std::string& step = {}) override;
		/// Clears the bar's line so that later output starts on a clean line. Idempotent.
		void finish();

		/// The line drawn for that state (without the carriage return), `width` characters of bar.
		static std::string render(double fraction, const std::string& step, int width = 30);

	private:
		std::FILE* m_stream;
		std::string m_shown;
	};
}
