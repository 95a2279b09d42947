#pragma once

#include "host/core/Log.h"
#include "src/graph/Graph.h"
#include "src/io/GraphMLIoAlgorithm.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace Quorvale::GraphMLTest
{
	/// A fresh directory for one test, removed with everything in it afterwards.
	class TemporaryDirectory
	{
	public:
		TemporaryDirectory()
		{
			std::random_device device;
			m_path = std::filesystem::temp_directory_path() / ("quorvale-graphml-" + std::to_string(device()) + std::to_string(device()));
			std::filesystem::create_directories(m_path);
		}
		~TemporaryDirectory()
		{
			std::error_code ignored;
			std::filesystem::remove_all(m_path, ignored);
		}
		TemporaryDirectory(const TemporaryDirectory&) = delete;
		TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

		std::string file(const std::string& name) const { return (m_path / name).string(); }
		/// Names of the entries in the directory.
		std::vector<std::string> entries() const
		{
			std::vector<std::string> names;
			for (const auto& entry : std::filesystem::directory_iterator(m_path))
				names.push_back(entry.path().filename().string());
			return names;
		}

	private:
		std::filesystem::path m_path;
	};

	inline std::string readText(const std::string& path)
	{
		std::ifstream in(path, std::ios::binary);
		std::ostringstream text;
		text << in.rdbuf();
		return text.str();
	}

	inline void writeText(const std::string& path, const std::string& text)
	{
		std::ofstream out(path, std::ios::binary | std::ios::trunc);
		out << text;
	}

	/// Writes through a writing instance; `exportFeatures` as given.
	inline bool save(const Graph& graph, const std::string& path, bool exportFeatures = true)
	{
		GraphMLIoAlgorithm writer(graph);
		writer.exportFeatures = exportFeatures;
		return writer.saveToGraphML(graph, path, nullptr);
	}

	inline std::unique_ptr<Graph> loadText(const std::string& text)
	{
		std::istringstream in(text);
		return GraphMLIoAlgorithm::loadFromGraphML(in);
	}

	/// A GraphML document around the given body (keys and graph elements).
	inline std::string document(const std::string& body)
	{
		return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<graphml xmlns=\"http://graphml.graphdrawing.org/xmlns\">\n" + body +
		       "</graphml>\n";
	}

	/// Node ids of the graph in ascending order.
	inline std::vector<uint64_t> nodeIds(const Graph& graph)
	{
		std::vector<uint64_t> ids;
		graph.forEachNode([&](uint64_t id, const Graph::NodeInfo&) { ids.push_back(id); });
		return ids;
	}

	inline std::vector<std::string> featureNames(const std::vector<Graph::FeatureDescriptor>& descriptors)
	{
		std::vector<std::string> names;
		for (const auto& d : descriptors)
			names.push_back(d.name);
		return names;
	}
}
