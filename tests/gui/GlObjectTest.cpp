#include "host/gl/GlObject.h"

#include "host/gl/FixedFunctionPipeline.h"
#include "host/gl/VertexBuffer.h"
#include "host/gui/GlSliceView.h"
#include "tests/gui/RenderTestSupport.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <cmath>

using namespace Quorvale;

namespace
{
	/// A red square of side 2 around its origin in its own z = 0 plane, counting its draws.
	struct Square : GlObject
	{
		void draw(const GlView& view) override
		{
			++draws;
			auto& pipeline = GL::FixedFunctionPipeline::instance();
			pipeline.enable(view.viewState(), 1, nullptr);
			pipeline.setModelMatrix(matrix());
			pipeline.setDefaultColor(Eigen::Vector4d(1, 0, 0, 1));
			m_buffer.upload({{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}, {}, {});
			m_buffer.bind();
			m_buffer.draw(GL::VertexBuffer::Triangles);
			pipeline.disable();
		}
		Geometry::AlignedBox bounds() const override { return {Eigen::Vector3d(-1, -1, 0), Eigen::Vector3d(1, 1, 0)}; }

		int draws = 0;
		GL::VertexBuffer m_buffer;
	};
}

TEST(GlObjectTest, TheBoundingSphereHoldsTheObjectInTheWorld)
{
	Square square;
	square.setMatrix((Eigen::Translation3d(5, 0, 0) * Eigen::Scaling(2.0)).matrix());
	const GlObject::Sphere sphere = square.boundsSpherical();
	EXPECT_TRUE(sphere.center.isApprox(Eigen::Vector3d(5, 0, 0)));
	EXPECT_NEAR(sphere.radius, 2.0 * std::sqrt(2.0), 1e-12);
	EXPECT_LT(GlObject::Sphere().radius, 0.0);
}

// The plane is in world coordinates, not the object's own: the square is moved by 0.5 along x. An
// object wholly on the clipped side of its bounding sphere is not drawn at all.
TEST(GlObjectTest, TheClipPlaneCutsAwayWhatTheObjectDrawsOnItsNegativeSide)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	GlSliceView view(2);
	view.setViewport(RenderTest::Size, RenderTest::Size);
	Square square;
	square.setMatrix(Eigen::Affine3d(Eigen::Translation3d(0.5, 0, 0)).matrix());
	view.addObject(&square);
	struct Case
	{
		Eigen::Vector4d plane;
		bool redLeft, redRight, clippedAway;
	};
	for (const Case& c : {Case{Eigen::Vector4d::Zero(), true, true, false}, Case{{1, 0, 0, -0.5}, false, true, false},
	                      Case{{-1, 0, 0, 0.5}, true, false, false}, Case{{1, 0, 0, -2}, false, false, true}})
	{
		square.setClipPlane(c.plane);
		EXPECT_EQ(square.clippedAway(), c.clippedAway) << c.plane.transpose();
		const RenderTest::Frame frame = RenderTest::render(view);
		EXPECT_EQ(RenderTest::near(frame.at({0.0, 0.2, 0}), RenderTest::Red), c.redLeft) << c.plane.transpose();
		EXPECT_EQ(RenderTest::near(frame.at({1.0, 0.2, 0}), RenderTest::Red), c.redRight) << c.plane.transpose();
	}
	EXPECT_EQ(square.draws, 3);
}
