#pragma once

#include "host/lib/Mesh.h"
#include "host/lib/MeshIo.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace Quorvale::Testing
{
	/// A fixture with a folder of its own for mesh files, removed after each test.
	class MeshFileTest : public ::testing::Test
	{
	protected:
		void SetUp() override { std::filesystem::create_directories(m_dir); }
		void TearDown() override { std::filesystem::remove_all(m_dir); }

		std::string path(const std::string& name) const { return (m_dir / name).string(); }

		/// Writes `bytes` as a new file `name` (one cut to nothing and written again may be flushed
		/// empty); gives its path.
		std::string write(const std::string& name, const std::string& bytes) const
		{
			std::filesystem::remove(path(name));
			std::ofstream(path(name), std::ios::binary) << bytes;
			return path(name);
		}

		/// The message with which `MeshIo::load` refuses the file `name`, written first with `bytes`
		/// when they are given, or "read" when it reads it.
		std::string refusal(const std::string& name, const std::optional<std::string>& bytes = std::nullopt) const
		{
			if (bytes)
				write(name, *bytes);
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

		/// Each text, written as the file `name`, is refused with a message naming the file and holding its reason.
		void expectRefused(const std::string& name, const std::vector<std::pair<std::string, std::string>>& textsAndReasons) const
		{
			for (const auto& [text, reason] : textsAndReasons)
				EXPECT_THAT(refusal(name, text), ::testing::AllOf(::testing::HasSubstr(path(name)), ::testing::HasSubstr(reason))) << text;
		}

		/// What `MeshIo::load` reads from `bytes` written as the file `name`.
		std::unique_ptr<Data> read(const std::string& name, const std::string& bytes) const { return MeshIo::load(write(name, bytes)); }

		/// The mesh read from `bytes` written as the file `name`.
		Mesh readMesh(const std::string& name, const std::string& bytes) const
		{
			const auto data = read(name, bytes);
			const auto* mesh = dynamic_cast<const Mesh*>(data.get());
			if (!mesh)
				throw std::runtime_error(name + " was not read as a mesh");
			return *mesh;
		}

		std::filesystem::path m_dir = std::filesystem::temp_directory_path() / ("quorvale-mesh-" + std::to_string(std::random_device()()));
	};
}
