#pragma once

#include <Eigen/Core>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Quorvale
{
	class SharedImageSet;
}

/// What the command-line tests share: a scratch folder, running the real program, test images.
namespace ProgramTestSupport
{
	/// A fresh empty folder under the system's temporary folder, removed with the object.
	class TemporaryFolder
	{
	public:
		TemporaryFolder();
		~TemporaryFolder();
		TemporaryFolder(const TemporaryFolder&) = delete;
		TemporaryFolder& operator=(const TemporaryFolder&) = delete;

		std::string file(const std::string& name) const { return (m_path / name).string(); }
		const std::filesystem::path& path() const { return m_path; }
		/// The names of the files in the folder, sorted.
		std::vector<std::string> fileNames() const;

	private:
		std::filesystem::path m_path;
	};

	struct ProgramRun
	{
		int exitCode = -1;
		std::string out;
		std::string err;
	};

	/// Runs the quorvale program with `arguments` (shell words) in the folder `workingFolder`, with
	/// `pluginFolder` as --plugin-dir; standard input is empty, standard error is not a terminal.
	ProgramRun runProgram(const std::string& arguments, const TemporaryFolder& workingFolder,
	                      const std::string& pluginFolder = QUORVALE_TEST_PLUGIN_DIR);

	/// The what() of the std::runtime_error that `action` throws; empty when it throws none.
	std::string errorOf(const std::function<void()>& action);

	/// A single-image set of 32-bit floats whose voxel k (x fastest) holds k / 10, spacing (1, 2, 3).
	std::unique_ptr<Quorvale::SharedImageSet> rampImage(const Eigen::Vector3i& dimensions);
	/// A single-image set of unsigned 8-bit voxels, all zero.
	std::unique_ptr<Quorvale::SharedImageSet> byteImage(const Eigen::Vector3i& dimensions);
	/// The values of the set's first image, x fastest.
	std::vector<double> voxels(const Quorvale::SharedImageSet& set);
}
