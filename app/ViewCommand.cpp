#include "app/ViewCommand.h"

#include "app/DataFiles.h"
#include "app/ProgramContext.h"
#include "app/ViewWindow.h"
#include "host/core/SafeSave.h"
#include "host/core/String.h"
#include "host/gl/Context.h"
#include "host/gui/DisplayWidgetMulti.h"
#include "host/gui/View.h"
#include "host/lib/Data.h"
#include "host/lib/DataModel.h"

#include <CLI/CLI.hpp>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QPixmap>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <regex>
#include <stdexcept>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Quorvale::ViewCommand
{
	namespace
	{
		/// A screenshot file and the image format its extension names.
		struct Screenshot
		{
			std::string path;
			QByteArray format;
		};

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

		/// The image format that the extension of `path` names ("png", "jpg"), when Qt writes it;
		/// else empty, with `problem` saying which extensions it writes.
		QByteArray imageFormatOf(const std::string& path, std::string& problem)
		{
			const std::string extension = String::toLowerCopy(std::filesystem::path(path).extension().string());
			const QList<QByteArray> formats = QImageWriter::supportedImageFormats();
			const QByteArray format = QByteArray::fromStdString(extension.empty() ? extension : extension.substr(1));
			if (!format.isEmpty() && formats.contains(format))
				return format;
			std::string known;
			for (const QByteArray& candidate : formats)
				known += (known.empty() ? "." : ", .") + candidate.toStdString();
			problem = "its extension names no image format that can be written (" + known + ")";
			return {};
		}

		/// Writes `image` in `format` to `path` like every other output (`SafeSave::writeFile`): whole
		/// or not at all. Empty, or why it failed.
		std::string writeImage(const QImage& image, const QByteArray& format, const std::string& path)
		{
			QByteArray bytes;
			QBuffer buffer(&bytes);
			buffer.open(QIODevice::WriteOnly);
			QImageWriter writer(&buffer, format);
			if (!writer.write(image))
				return "Cannot write '" + path + "': " + writer.errorString().toStdString();
			try
			{
				SafeSave::writeFile(path, bytes.toStdString());
			}
			catch (const std::runtime_error& e)
			{
				return e.what();
			}
			return {};
		}

		/// Renders the window's views once at `width` × `height` and writes the image; the exit status.
		int saveScreenshot(ViewWindow& window, const Screenshot& target, int width, int height)
		{
			DisplayWidgetMulti* display = window.display();
			display->setParent(nullptr);
			// The views' least size serves the window; a screenshot is drawn at the size asked for.
			for (QWidget* view : display->findChildren<GUI::View*>())
				view->setMinimumSize(1, 1);
			display->resize(width, height);
			display->show();
			QApplication::processEvents();
			const QImage image = display->grab().toImage();
			display->hide();
			display->setParent(&window);
			const std::string problem = image.isNull() || image.size() != QSize(width, height)
			                                ? "Cannot write '" + target.path + "': the views could not be drawn at that size"
			                                : writeImage(image, target.format, target.path);
			if (!problem.empty())
				throw std::runtime_error(problem);
			std::cout << "Wrote " << target.path << " (" << image.width() << "x" << image.height() << ")\n";
			return 0;
		}

		/// Checks, before anything is drawn, that a screenshot can be made and written: a file and not a
		/// folder, OpenGL, an image format named by the extension, a file that may be replaced
		/// (`SafeSave::checkTarget`). Throws std::runtime_error with the reason; else `target` holds the format.
		void prepareScreenshot(Screenshot& target)
		{
			DataFiles::requireFileTarget(target.path);
			if (!GL::Context::isAvailable())
				throw std::runtime_error("no OpenGL context, no screenshot written: " + GL::Context::failure());
			std::string problem;
			target.format = imageFormatOf(target.path, problem);
			if (!target.format.isEmpty())
				problem = SafeSave::checkTarget(target.path);
			if (!problem.empty())
				throw std::runtime_error("Cannot write '" + target.path + "': " + problem);
		}

		/// True when the X server of the local display `display` (":1", "unix:1.0") accepts a
		/// connection; a display on another host is taken as it is.
		bool displayAnswers(const std::string& display)
		{
			const auto colon = display.rfind(':');
			const std::string host = colon == std::string::npos ? display : display.substr(0, colon);
			if (colon == std::string::npos || (!host.empty() && host != "unix"))
				return true;
			const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
			const std::string socketPath = "/tmp/.X11-unix/X" + number;
			// The server listens on the file and on the same name in the abstract namespace.
			for (const bool abstract : {false, true})
			{
				sockaddr_un address{};
				address.sun_family = AF_UNIX;
				std::strncpy(address.sun_path + (abstract ? 1 : 0), socketPath.c_str(), sizeof address.sun_path - 2);
				const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
				const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + (abstract ? 1 : 0) + socketPath.size());
				const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
				if (fd >= 0)
					::close(fd);
				if (connected)
					return true;
			}
			return false;
		}

		/// Why no window can be opened, or empty. Qt aborts the program when its platform has no
		/// display; without a platform chosen in QT_QPA_PLATFORM that is X, through DISPLAY.
		std::string displayProblem()
		{
			if (const char* platform = std::getenv("QT_QPA_PLATFORM"); platform && *platform)
				return {};
			const char* display = std::getenv("DISPLAY");
			const std::string advice =
			    "; use --screenshot FILE to draw the views into an image without a display, or run it under a virtual display (xvfb-run)";
			if (!display || !*display)
				return "there is no display to open the window on (DISPLAY is not set)" + advice;
			if (!displayAnswers(display))
				return std::string("the display '") + display + "' does not answer" + advice;
			return {};
		}

		void loadFiles(const std::vector<std::string>& files, DataModel& model)
		{
			for (const std::string& file : files)
				for (auto& data : DataFiles::load(file))
					model.add(std::move(data));
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
			throw std::runtime_error("--size must be WxH with both between 16 and 8192, not '" + options.size + "'");
		// The platform is chosen when the application is made: a screenshot needs no display.
		if (screenshot)
			setenv("QT_QPA_PLATFORM", "offscreen", 1);
		else if (const std::string problem = displayProblem(); !problem.empty())
			throw std::runtime_error(problem);
		context.loadPlugins();
		application();
		Screenshot target{options.screenshot, {}};
		if (screenshot)
			prepareScreenshot(target);

		DataModel model;
		loadFiles(options.files, model);
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
				status = saveScreenshot(window, target, width, height);
		}
		return status;
	}

	void add(CLI::App& app, ProgramContext& context)
	{
		auto options = std::make_shared<Options>();
		CLI::App* command = app.add_subcommand("view", "Show images, graphs, meshes and point clouds in slice views and a 3-D view");
		command->add_option("files", options->files, "Files to show (.nii, .nii.gz, .graphml, .qvf, .ply, .obj, .stl)");
		command->add_option("--screenshot", options->screenshot,
		                    "Render the views once into this image file, in the format its extension names (.png, .jpg, ...), and "
		                    "exit (needs no display)");
		command->add_option("--size", options->size, "Size WxH of the views in the screenshot")->capture_default_str();
		command->callback([&context, options] { context.setAction([&context, options] { return run(context, *options); }); });
	}
}
