#include "tests/app/ProgramTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <sys/wait.h>

#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"

namespace ProgramTestSupport
{
	namespace
	{
		std::string readFile(const std::filesystem::path& path)
		{
			std::ifstream in(path);
			std::stringstream text;
			text << in.rdbuf();
			return text.str();
		}
	}

	std::string errorOf(const std::function<void()>& action)
	{
		try
		{
			action();
		}
		catch (const std::runtime_error& e)
		{
			return e.what();
		}
		return {};
	}

	TemporaryFolder::TemporaryFolder()
	{
		std::string pattern = (std::filesystem::temp_directory_path() / "quorvale-app-test-XXXXXX").string();
		if (!mkdtemp(pattern.data()))
			throw std::runtime_error("cannot create a temporary folder");
		m_path = pattern;
	}

	TemporaryFolder::~TemporaryFolder()
	{
		std::error_code ignored;
		std::filesystem::remove_all(m_path, ignored);
	}

	std::vector<std::string> TemporaryFolder::fileNames() const
	{
		std::vector<std::string> names;
		for (const auto& entry : std::filesystem::directory_iterator(m_path))
			names.push_back(entry.path().filename().string());
		std::sort(names.begin(), names.end());
		return names;
	}

	ProgramRun runProgram(const std::string& arguments, const TemporaryFolder& workingFolder, const std::string& pluginFolder)
	{
		TemporaryFolder streams;
		const std::string command = "cd '" + workingFolder.path().string() + "' && '" + QUORVALE_PROGRAM + "' --plugin-dir '" +
		                            pluginFolder + "' " + arguments + " </dev/null >'" + streams.file("out") + "' 2>'" +
		                            streams.file("err") + "'";
		const int status = std::system(command.c_str());
		ProgramRun run;
		run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
		run.out = readFile(streams.file("out"));
		run.err = readFile(streams.file("err"));
		return run;
	}

	std::unique_ptr<Quorvale::SharedImageSet> rampImage(const Eigen::Vector3i& dimensions)
	{
		auto image = Quorvale::TypedImage<float>::create(dimensions);
		image->setSpacing(Eigen::Vector3d(1, 2, 3));
		for (size_t k = 0; k < image->descriptor().size(); ++k)
			image->pointer()[k] = static_cast<float>(k) / 10.0f;
		return std::make_unique<Quorvale::SharedImageSet>(
		    std::make_unique<Quorvale::SharedImage>(std::unique_ptr<Quorvale::MemImage>(std::move(image))), "ramp");
	}

	std::unique_ptr<Quorvale::SharedImageSet> byteImage(const Eigen::Vector3i& dimensions)
	{
		auto image = Quorvale::TypedImage<unsigned char>::create(dimensions);
		return std::make_unique<Quorvale::SharedImageSet>(
		    std::make_unique<Quorvale::SharedImage>(std::unique_ptr<Quorvale::MemImage>(std::move(image))), "bytes");
	}

	std::vector<double> voxels(const Quorvale::SharedImageSet& set)
	{
		const Quorvale::MemImage& image = *set.mem(0);
		const Eigen::Vector3i size = image.descriptor().dimensions();
		std::vector<double> values;
		for (int z = 0; z < size.z(); ++z)
			for (int y = 0; y < size.y(); ++y)
				for (int x = 0; x < size.x(); ++x)
					values.push_back(image.valueAt(Eigen::Vector3d(x, y, z), 0, false, 0.0));
		return values;
	}
}
