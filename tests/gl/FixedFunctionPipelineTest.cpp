#include "host/gl/FixedFunctionPipeline.h"

#include "host/gl/Framebuffer.h"
#include "host/gl/StateGuard.h"
#include "host/gl/VertexBuffer.h"
#include "tests/gl/GlTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

using namespace Quorvale::GL;

namespace
{
	constexpr int W = 40, H = 20;

	/// Pixels span x in [0, 40] and y in [0, 20]: world units are pixels.
	ViewState pixelView() { return {Eigen::Matrix4d::Identity(), ViewState::ortho(0, W, 0, H, -1, 1), Eigen::Vector4i(0, 0, W, H)}; }

	std::array<int, 4> pixel(const std::vector<std::uint8_t>& rgba, int x, int rowFromTop)
	{
		const auto* p = rgba.data() + (static_cast<size_t>(rowFromTop) * W + static_cast<size_t>(x)) * 4;
		return {p[0], p[1], p[2], p[3]};
	}
}

TEST(FixedFunctionPipelineTest, DrawsColouredPointsAndDefaultColouredLinesInWindowRowOrder)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	Framebuffer framebuffer;
	framebuffer.begin(W, H, Eigen::Vector4f(0, 0, 0, 1));
	auto& pipeline = FixedFunctionPipeline::instance();
	{
		StateGuard state;
		VertexBuffer points;
		// A red point near the bottom left, a green one near the top right.
		points.upload({{5.5, 3.5, 0}, {30.5, 16.5, 0}}, {}, {{1, 0, 0, 1}, {0, 1, 0, 1}});
		pipeline.enable(pixelView(), 0);
		pipeline.setPointSize(3.0);
		points.bind();
		points.draw(VertexBuffer::Points);

		VertexBuffer line;
		line.upload({{0, 10.5, 0}, {40, 10.5, 0}}, {}, {});
		pipeline.enable(pixelView(), 1);
		pipeline.setDefaultColor(Eigen::Vector4d(0, 0, 1, 1));
		pipeline.setModelMatrix(Eigen::Matrix4d::Identity());
		line.bind();
		line.draw(VertexBuffer::Lines);
		pipeline.disable();
	}
	const auto rgba = framebuffer.readPixels();
	framebuffer.end();
	// Rows come top first: window row y is image row H - 1 - y.
	EXPECT_EQ(pixel(rgba, 5, H - 1 - 3), (std::array<int, 4>{255, 0, 0, 255}));
	EXPECT_EQ(pixel(rgba, 30, H - 1 - 16), (std::array<int, 4>{0, 255, 0, 255}));
	EXPECT_EQ(pixel(rgba, 20, H - 1 - 10), (std::array<int, 4>{0, 0, 255, 255}));
	EXPECT_EQ(pixel(rgba, 20, 2), (std::array<int, 4>{0, 0, 0, 255}));
}

TEST(VertexBufferTest, AttributeListsMustMatchThePositions)
{
	VertexBuffer buffer;
	EXPECT_THROW(buffer.upload({{0, 0, 0}, {1, 1, 1}}, {}, {{1, 0, 0, 1}}), std::invalid_argument);
	// Outside a guard the vertices wait for the next bind.
	buffer.upload({{0, 0, 0}}, {}, {});
	EXPECT_EQ(buffer.size(), 1);
}

TEST(FixedFunctionPipelineTest, LightingShadesByTheNormalsAngleToTheViewAxisOnBothSides)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	// The normal, and the red it leaves of 255: 255 (0.3 + 0.7 |cos a|); a zero normal leaves the colour as it is.
	for (const auto& [normal, red] : std::initializer_list<std::pair<Eigen::Vector3f, int>>{
	         {{0, 0, 1}, 255}, {{0, 0, -3}, 255}, {{0.8660254f, 0, 0.5f}, 166}, {{0, 1, 0}, 77}, {{0, 0, 0}, 255}})
	{
		Framebuffer framebuffer;
		framebuffer.begin(W, H, Eigen::Vector4f(0, 0, 0, 1));
		{
			StateGuard state;
			VertexBuffer triangle;
			triangle.upload({{0, 0, 0}, {2 * W, 0, 0}, {0, 2 * H, 0}}, {normal, normal, normal},
			                {{1, 0, 0, 1}, {1, 0, 0, 1}, {1, 0, 0, 1}});
			auto& pipeline = FixedFunctionPipeline::instance();
			pipeline.enable(pixelView(), 1);
			pipeline.setLighting(true);
			triangle.bind();
			triangle.draw(VertexBuffer::Triangles);
			pipeline.disable();
		}
		const auto rgba = framebuffer.readPixels();
		framebuffer.end();
		EXPECT_NEAR(pixel(rgba, W / 2, H / 2)[0], red, 1) << normal.transpose();
	}
}
