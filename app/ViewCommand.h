#pragma once

#include <string>
#include <vector>

namespace CLI
{
	class App;
}

namespace Quorvale
{
	class ProgramContext;

	/// The `view` subcommand: `view [FILES...] [--screenshot out.png [--size WxH]]` opens a window with
	/// the data of the files (the first image set under everything; graphs, meshes and point clouds
	/// shown), or, with --screenshot, renders the four views once on Qt's offscreen platform at
	/// exactly WxH, writes the image in the format its extension names (refused before anything is
	/// drawn when Qt writes no such format) and exits. The image is written like every other output
	/// (`SafeSave`, checked before anything is drawn): a failed write leaves the old file, a
	/// read-only one is refused. Without a display to open the window on (no QT_QPA_PLATFORM,
	/// DISPLAY unset or not answering) it exits with advice instead of letting Qt abort.
	namespace ViewCommand
	{
		struct Options
		{
			std::vector<std::string> files;
			std::string screenshot;
			/// "WxH" of the views' area in the screenshot.
			std::string size = "1024x1024";
		};

		/// Parses "WxH" (both 16 to 8192); false for anything else.
		bool parseSize(const std::string& text, int& width, int& height);

		/// Runs the command; returns the exit code of the window, 0 for a screenshot written. Throws
		/// std::runtime_error with the reason when no window or screenshot can be made (no display, no
		/// OpenGL, a file that cannot be read, a screenshot that cannot be written).
		int run(ProgramContext& context, const Options& options);

		void add(CLI::App& app, ProgramContext& context);
	}
}
