#include "host/lib/Mesh.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include <cmath>
#include <limits>
#include <stdexcept>

using namespace Quorvale;

namespace
{
	// Vertex 0 at the origin is shared by a large triangle in the plane z = 0 with a right angle at
	// the origin and a small one in the plane x = 0 with a 45° angle there.
	Mesh fan()
	{
		return Mesh({{0, 0, 0}, {4, 0, 0}, {0, 4, 0}, {0, 1, 0}, {0, 1, 1}}, {{0, 1, 2}, {0, 4, 3}});
	}
}

TEST(MeshTest, NormalsFollowTheirWeighting)
{
	struct Case
	{
		int weighting;
		Eigen::Vector3d sum; // weights of the normals (0, 0, 1) of the large and (-1, 0, 0) of the small triangle
	};
	const double pi = std::acos(-1.0);
	for (const Case& c : {Case{Mesh::Uniform, {-1, 0, 1}}, Case{Mesh::FaceArea, {-0.5, 0, 8}}, Case{Mesh::VertexAngle, {-pi / 4, 0, pi / 2}},
	                      Case{17, {-1, 0, 1}}})
	{
		Mesh mesh = fan();
		mesh.computeVertexNormals(c.weighting);
		EXPECT_TRUE(mesh.vertexNormal(0).isApprox(c.sum.normalized(), 1e-12)) << c.weighting << ": " << mesh.vertexNormal(0).transpose();
		EXPECT_TRUE(mesh.vertexNormal(1).isApprox(Eigen::Vector3d(0, 0, 1))) << c.weighting;
	}
	// Degenerate triangles add nothing; a vertex on none gets the zero vector.
	Mesh flat({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {{0, 1, 2}});
	flat.computeVertexNormals(Mesh::VertexAngle);
	EXPECT_EQ(flat.vertexNormals(), std::vector<Eigen::Vector3d>(3, Eigen::Vector3d::Zero()));
}

TEST(MeshTest, ColoursBlendOverTheBaseColour)
{
	Mesh mesh = fan();
	EXPECT_EQ(mesh.vertexColor(0), Eigen::Vector4f::Ones());
	const Eigen::Vector3f red(1, 0, 0);
	struct Case
	{
		float weight;
		Eigen::Vector4f expected;
	};
	for (const Case& c : {Case{0.25f, {1, 0.75f, 0.75f, 1}}, Case{1.0f, {1, 0, 0, 1}}, Case{3.0f, {1, 0, 0, 1}}, Case{-2.0f, {1, 1, 1, 1}},
	                      Case{std::numeric_limits<float>::quiet_NaN(), {1, 1, 1, 1}}})
	{
		// Painted twice: the second painting starts from the base again.
		mesh.setVertexColor(2, red, 0.5f);
		mesh.setVertexColor(2, red, c.weight);
		EXPECT_TRUE(mesh.vertexColor(2).isApprox(c.expected)) << c.weight << ": " << mesh.vertexColor(2).transpose();
	}
	// A mesh read with colours blends over those, keeping their alpha.
	Mesh coloured = fan();
	coloured.setBaseColors(std::vector<Eigen::Vector4f>(5, Eigen::Vector4f(0, 0, 1, 0.5f)));
	coloured.setVertexColor(0, red, 0.5f);
	EXPECT_TRUE(coloured.vertexColor(0).isApprox(Eigen::Vector4f(0.5f, 0, 0.5f, 0.5f)));
	EXPECT_EQ(coloured.baseColor(0), Eigen::Vector4f(0, 0, 1, 0.5f));
}

TEST(MeshTest, TrianglesMustReferToVertices)
{
	EXPECT_THROW(Mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 3}}), std::invalid_argument);
	Mesh mesh = fan();
	EXPECT_THROW(mesh.setGeometry({{0, 0, 0}}, {{0, -1, 0}}), std::invalid_argument);
	EXPECT_EQ(mesh.numberOfVertices(), 5);
	EXPECT_THROW(mesh.setBaseColors(std::vector<Eigen::Vector4f>(4)), std::invalid_argument);
}
