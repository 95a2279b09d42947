#include "app/ViewCommand.h"

#include "app/DataFiles.h"
#include "app/ProgramContext.h"
#include "app/ViewWindow.h"
#include "host/gl/Context.h"
#include "host/gui/DisplayWidgetMulti.h"
#include "host/lib/Data.h"
#include "host/lib/DataModel.h"

#include <CLI/CLI.hpp>

#include <QApplication>
#include <QImage>
#include <QPixmap>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <regex>

namespace Quorvale::ViewCommand
{
	namespace
	{
		int argc = 1;
		char programName[] = "quorvale";
		char* argv[] = {programName, nullptr};

		/// One application per process, never deleted (the offscreen platform does not survive teardown).
		QApplication& application()
		{
			static QApplication* app = QApplication::instance() ? static_cast<QApplication*>(QApplication::instance())
			                                                    : new QApplication(argc, argv);
			return *app;
		}

		/// Renders the window's views once at `width` × `height` into the PNG file `path`; the exit status.
		int saveScreenshot(ViewWindow& window, const std::string& path, int width, int height)
		{
			DisplayWidgetMulti* display = window.display();
			display->setParent(nullptr);
			display->resize(width, height);
			display->show();
			QApplication::processEvents();
			const QImage image = display->grab().toImage();
			const bool written = !image.isNull() && image.save(QString::fromStdString(path), "PNG");
			display->hide();
			display->setParent(&window);
			if (!written)
			{
				std::cerr << "quorvale view: cannot write '" << path << "'\n";
				return 1;
			}
			std::cout << "Wrote " << path << " (" << image.width() << "x" << image.height() << ")\n";
			return 0;
		}

		bool loadFiles(const std::vector<std::string>& files, DataModel& model)
		{
			for (const std::string& file : files)
			{
				try
				{
					for (auto& data : DataFiles::load(file))
						model.add(std::move(data));
				}
				catch (const std::exception& e)
				{
					std::cerr << "quorvale view: " << e.what() << '\n';
					return false;
				}
			}
			return true;
		}
	}

	bool parseSize(const std::string& text, int& width, int& height)
	{
		static const std::regex pattern(R"((\d{1,5})x(\d{1,5}))");
		std::smatch match;
		if (!std::regex_match(text, match, pattern))
			return false;
		const int w = std::stoi(match[1]), h = std::stoi(match[2]);
		if (w < 16 || h < 16 || w > 8192 || h > 8192)
			return false;
		width = w;
		height = h;
		return true;
	}

	int run(ProgramContext& context, const Options& options)
	{
		const bool screenshot = !options.screenshot.empty();
		int width = 0, height = 0;
		if (screenshot && !parseSize(options.size, width, height))
		{
			std::cerr << "quorvale view: --size must be WxH with both between 16 and 8192, not '" << options.size << "'\n";
			return 1;
		}
		// The platform is chosen when the application is made: a screenshot needs no display.
		if (screenshot)
			setenv("QT_QPA_PLATFORM", "offscreen", 1);
		context.loadPlugins();
		application();
		if (screenshot && !GL::Context::isAvailable())
		{
			std::cerr << "quorvale view: no OpenGL context, no screenshot written: " << GL::Context::failure() << '\n';
			return 1;
		}

		DataModel model;
		if (!loadFiles(options.files, model))
			return 1;
		int status = 0;
		{
			ViewWindow window(model);
			window.showAll();
			if (!screenshot)
			{
				window.resize(1400, 900);
				window.show();
				status = QApplication::exec();
			}
			else
				status = saveScreenshot(window, options.screenshot, width, height);
		}
		return status;
	}

	void add(CLI::App& app, ProgramContext& context)
	{
		auto options = std::make_shared<Options>();
		CLI::App* command = app.add_subcommand("view", "Show images, graphs, meshes and point clouds in slice views and a 3-D view");
		command->add_option("files", options->files, "Files to show (.nii, .nii.gz, .graphml, .qvf, .ply, .obj, .stl)");
		command->add_option("--screenshot", options->screenshot, "Render the views once into this PNG file and exit (needs no display)");
		command->add_option("--size", options->size, "Size WxH of the views in the screenshot")->capture_default_str();
		command->callback([&context, options] { context.setAction([&context, options] { return run(context, *options); }); });
	}
}
