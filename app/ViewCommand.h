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
	/// shown), or, with --screenshot, renders the four views once on Qt's offscreen platform, writes the
	/// PNG and exits.
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

		/// Runs the command; returns the exit code.
		int run(ProgramContext& context, const Options& options);

		void add(CLI::App& app, ProgramContext& context);
	}
}
