#pragma once

#include "host/core/Properties.h"
#include "src/graph/Graph.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace Quorvale::GraphQvfTest
{
	inline uint64_t bitsOf(double value)
	{
		uint64_t bits = 0;
		std::memcpy(&bits, &value, sizeof bits);
		return bits;
	}

	/// Equal bit for bit, so NaN payloads and the sign of zero count.
	inline void expectSameValues(const std::vector<double>& a, const std::vector<double>& b, const std::string& where)
	{
		ASSERT_EQ(a.size(), b.size()) << where;
		for (size_t i = 0; i < a.size(); ++i)
			EXPECT_EQ(bitsOf(a[i]), bitsOf(b[i])) << where << " value " << i;
	}

	inline void expectSameDescriptors(const std::vector<Graph::FeatureDescriptor>& a, const std::vector<Graph::FeatureDescriptor>& b)
	{
		ASSERT_EQ(a.size(), b.size());
		for (size_t i = 0; i < a.size(); ++i)
		{
			EXPECT_EQ(a[i].name, b[i].name);
			EXPECT_EQ(bitsOf(a[i].defaultValue), bitsOf(b[i].defaultValue));
		}
	}

	/// Everything a graph block stores: matrix, settings, descriptors, and every node and every
	/// neighbour entry (the empty entries of directed edges included) with features and attributes.
	inline void expectSameGraph(const Graph& expected, const Graph& actual)
	{
		for (int i = 0; i < 16; ++i)
			EXPECT_EQ(bitsOf(expected.matrixToWorld().data()[i]), bitsOf(actual.matrixToWorld().data()[i])) << "matrix element " << i;
		EXPECT_EQ(expected.type(), actual.type());
		EXPECT_EQ(expected.dimension(), actual.dimension());
		EXPECT_EQ(expected.maxNodeIdx(), actual.maxNodeIdx());
		expectSameDescriptors(expected.nodeFeatureDescriptors(), actual.nodeFeatureDescriptors());
		expectSameDescriptors(expected.edgeFeatureDescriptors(), actual.edgeFeatureDescriptors());
		ASSERT_EQ(expected.numNodes(), actual.numNodes());
		EXPECT_EQ(expected.numEdges(), actual.numEdges());
		expected.forEachNode(
		    [&](uint64_t id, const Graph::NodeInfo& info, const Graph::Neighborhood& neighbors)
		    {
			    const std::string where = "node " + std::to_string(id);
			    ASSERT_TRUE(actual.hasNode(id)) << where;
			    const Graph::NodeInfo& other = actual.node(id);
			    for (int i = 0; i < 3; ++i)
				    EXPECT_EQ(bitsOf(info.position()[i]), bitsOf(other.position()[i])) << where;
			    expectSameValues(info.features(), other.features(), where);
			    EXPECT_TRUE(info.attributes().compareWith(other.attributes(), Properties::CompareAll)) << where;
			    const Graph::Neighborhood& otherNeighbors = actual.neighborhood(id);
			    ASSERT_EQ(neighbors.size(), otherNeighbors.size()) << where;
			    for (const auto& [neighbor, edge] : neighbors)
			    {
				    const std::string edgeWhere = where + " entry " + std::to_string(neighbor);
				    auto it = otherNeighbors.find(neighbor);
				    ASSERT_NE(it, otherNeighbors.end()) << edgeWhere;
				    ASSERT_EQ(edge.has_value(), it->second.has_value()) << edgeWhere;
				    if (!edge)
					    continue;
				    expectSameValues(edge->features(), it->second->features(), edgeWhere);
				    EXPECT_TRUE(edge->attributes().compareWith(it->second->attributes(), Properties::CompareAll)) << edgeWhere;
			    }
		    });
	}

	/// Attributes holding every kind of value a `Properties` can hold, with the awkward cases of each.
	inline Properties everyKindOfAttribute()
	{
		Properties p;
		p.setParam("flag", true);
		p.setParam("count", -42, 7);
		p.setParam("big", std::int64_t(std::numeric_limits<std::int64_t>::min()));
		p.setParam("huge", std::numeric_limits<std::uint64_t>::max());
		p.setParam("single", -0.0f);
		p.setParam("real", std::numeric_limits<double>::denorm_min());
		p.setParam("nan", std::nan("0x5"));
		p.setParam("text", std::string("quote \" backslash \\ newline \n tab \t byte \x01 \xff end"));
		p.setParam("optInt", std::optional<int>(3));
		p.setParam("noInt", std::optional<int>());
		p.setParam("optText", std::optional<std::string>("maybe"));
		p.setParam("noText", std::optional<std::string>());
		p.setParam("v2", Eigen::Vector2d(1.5, -2));
		p.setParam("v3", Eigen::Vector3d(0, 1e-300, 1e300));
		p.setParam("v4", Eigen::Vector4d(1, 2, 3, 4));
		Eigen::Matrix4d m;
		for (int i = 0; i < 16; ++i)
			m.data()[i] = i * 0.25 - 1;
		p.setParam("m4", m);
		p.setParam("ints", std::vector<int>{1, -2, 3});
		p.setParam("reals", std::vector<double>{});
		p.setParam("texts", std::vector<std::string>{"a b", "", "c\"d"});
		p.setParamType("count", PropertiesDetail::ParamType::Slider);
		p.setParamAttribute("count", "min", "0");
		p.setAttribute("origin", "scanner 3");
		Properties& sub = p.addSubProperties("segment");
		sub.setParam("label", std::string("left"));
		sub.addSubProperties("deeper").setParam("level", 2);
		return p;
	}

	/// Undirected 3-D graph: nodes 1–4 with two node features, edges 1–2, 2–3 and the self-loop 4–4,
	/// a matrix that is not the identity, and attributes on some nodes and edges.
	inline Graph sampleGraph()
	{
		Graph graph;
		graph.addNodeFeatureDescriptors({{"radius", 1.5}, {"label", -1.0}});
		graph.getOrCreateEdgeFeatureIdx("length", 0.0);
		for (int i = 0; i < 4; ++i)
			graph.addNode(Graph::NodeInfo(Eigen::Vector3d(i, 2.0 * i, -0.5 * i), {0.1 * i, double(i)}));
		graph.nodeAttributes(2).setParam("kind", std::string("bifurcation"));
		Graph::EdgeInfo first({0.7, 1.0});
		first.attributes().setParam("weight", 2.5);
		graph.addEdge(1, 2, first);
		graph.addEdge(2, 3, Graph::EdgeInfo({0.9, std::numeric_limits<double>::infinity()}));
		graph.addEdge(4, 4, Graph::EdgeInfo({0.2, 0.0}));
		Eigen::Matrix4d matrix = Eigen::Matrix4d::Identity();
		matrix(0, 3) = 10;
		matrix(1, 0) = 0.5;
		graph.setMatrixToWorld(matrix);
		return graph;
	}
}
