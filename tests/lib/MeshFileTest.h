#pragma once

#include "host/lib/MeshIo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>

namespace Quorvale::Testing
{
	/// A fixture with a folder of its own for mesh files, removed after each test.
	class MeshFileTest : public ::testing::Test
	{
	protected:
		void SetUp() override { std::filesystem::create_directories(m_dir); }
		void TearDown() override { std::filesystem::remove_all(m_dir); }

		std::string path(const std::string& name) const { return (m_dir / name).string(); }

		/// Writes `bytes` as the file `name`; gives its path.
		std::string write(const std::string& name, const std::string& bytes) const
		{
			// A new file each time: the file system flushes a file cut to nothing and written again.
			std::filesystem::remove(path(name));
			std::ofstream(path(name), std::ios::binary) << bytes;
			return path(name);
		}

		/// The message with which `MeshIo::load` refuses `bytes` written as the file `name`, or
		/// "read" when it reads them.
		std::string refusal(const std::string& name, const std::string& bytes) const
		{
			write(name, bytes);
			return refusal(name);
		}

		/// The message with which `MeshIo::load` refuses the file `name`, or "read".
		std::string refusal(const std::string& name) const
		{
			try
			{
				MeshIo::load(path(name));
				return "read";
			}
			catch (const std::exception& e)
			{
				return e.what();
			}
		}

		std::filesystem::path m_dir = std::filesystem::temp_directory_path() / ("quorvale-mesh-" + std::to_string(std::random_device()()));
	};
}
