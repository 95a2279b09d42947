#include "app/GraphMLShape.h"

#include <cmath>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <unordered_map>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

namespace Quorvale::GraphMLShape
{
	namespace
	{
		using Tree = boost::property_tree::ptree;

		std::string attribute(const Tree& element, const char* name)
		{
			return element.get<std::string>(std::string("<xmlattr>.") + name, "");
		}

		double number(const Tree& data) { return std::stod(data.get_value<std::string>()); }
	}

	double Shape::totalLength() const
	{
		double length = 0.0;
		for (const auto& [a, b] : edges)
			length += (nodes[a] - nodes[b]).norm();
		return length;
	}

	double Shape::meanEdgeValue() const
	{
		double sum = 0.0;
		int count = 0;
		for (double value : edgeValues)
			if (std::isfinite(value))
			{
				sum += value;
				++count;
			}
		return count > 0 ? sum / count : 0.0;
	}

	int Shape::components() const
	{
		std::vector<std::size_t> parent(nodes.size());
		std::iota(parent.begin(), parent.end(), std::size_t(0));
		const auto root = [&](std::size_t i)
		{
			while (parent[i] != i)
				i = parent[i] = parent[parent[i]];
			return i;
		};
		int count = static_cast<int>(nodes.size());
		for (const auto& [a, b] : edges)
		{
			const std::size_t ra = root(a);
			const std::size_t rb = root(b);
			if (ra != rb)
			{
				parent[ra] = rb;
				--count;
			}
		}
		return count;
	}

	Shape read(const std::string& path, const std::string& edgeFeature)
	{
		Tree document;
		try
		{
			boost::property_tree::read_xml(path, document);
			const Tree& graph = document.get_child("graphml").get_child("graph");
			Shape shape;
			std::unordered_map<std::string, std::size_t> index;
			for (const auto& [name, node] : graph)
			{
				if (name != "node")
					continue;
				Eigen::Vector3d position = Eigen::Vector3d::Zero();
				for (const auto& [dataName, data] : node)
				{
					if (dataName != "data")
						continue;
					const std::string key = attribute(data, "key");
					if (key == "x" || key == "y" || key == "z")
						position[key[0] - 'x'] = number(data);
				}
				index.emplace(attribute(node, "id"), shape.nodes.size());
				shape.nodes.push_back(position);
			}
			for (const auto& [name, edge] : graph)
			{
				if (name != "edge")
					continue;
				const auto from = index.find(attribute(edge, "source"));
				const auto to = index.find(attribute(edge, "target"));
				if (from == index.end() || to == index.end())
					throw std::runtime_error("an edge names an unknown node");
				shape.edges.emplace_back(from->second, to->second);
				double value = std::numeric_limits<double>::quiet_NaN();
				for (const auto& [dataName, data] : edge)
					if (dataName == "data" && attribute(data, "key") == edgeFeature)
						value = number(data);
				shape.edgeValues.push_back(value);
			}
			return shape;
		}
		catch (const std::exception& e)
		{
			throw std::runtime_error("Cannot read the graph in '" + path + "': " + e.what());
		}
	}
}
