#pragma once

#include "host/core/Progress.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace Quorvale
{
	/// A one-line progress bar on a terminal stream, redrawn in place ("[#####-----]  50%  step").
	/// Only redraws when the shown text changes, so frequent updates cost little. While a bar exists,
	/// `shown` returns it, so that lines printed meanwhile go through `printAbove`.
	class TerminalProgress : public Progress
	{
	public:
		/// Draws on `stream` (not owned), which should be a terminal.
		explicit TerminalProgress(std::FILE* stream);
		/// Calls `finish`.
		~TerminalProgress() override;
		TerminalProgress(const TerminalProgress&) = delete;
		TerminalProgress& operator=(const TerminalProgress&) = delete;

		/// Redraws the bar; the fraction is clamped to 0..1.
		void update(double fraction, const std::string& step = {}) override;
		/// Clears the bar's line so that later output starts on a clean line. Idempotent.
		void finish();
		/// Prints `line` and a line break on the bar's stream, on a line of its own, and redraws the
		/// bar below it. Safe to call from any thread.
		void printAbove(const std::string& line);

		/// The bar that exists now (the most recently created), or null.
		static TerminalProgress* shown();

		/// The line drawn for that state (without the carriage return), `width` characters of bar.
		static std::string render(double fraction, const std::string& step = {}, int width = 30);

	private:
		void clearLine();

		std::FILE* m_stream;
		std::string m_shown;
		std::mutex m_mutex;
		TerminalProgress* m_previous = nullptr;
	};
}
