#include "host/gl/ViewState.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Quorvale::GL;

namespace
{
	/// Looks along -z at the plane z = 5 from above, 200 x 100 pixels showing x in [-2, 2], y in [-1, 1].
	ViewState sliceLike()
	{
		Eigen::Matrix4d view = Eigen::Matrix4d::Identity();
		view(2, 3) = -5.0;
		return {view, ViewState::ortho(-2, 2, -1, 1, -3, 3), Eigen::Vector4i(0, 0, 200, 100)};
	}
}

TEST(ViewStateTest, ProjectAndUnprojectAreInverse)
{
	for (const ViewState& state :
	     {sliceLike(), ViewState(ViewState::lookAt({3, -4, 2}, {0, 0, 0}, Eigen::Vector3d::UnitZ()), ViewState::perspective(0.6, 1.5, 1.0, 20.0),
	                             Eigen::Vector4i(10, 20, 300, 200))})
	{
		const Eigen::Vector3d world(0.3, -0.2, 0.1);
		EXPECT_TRUE(state.unproject(state.project(world)).isApprox(world, 1e-9));
	}
}

TEST(ViewStateTest, DepthOneHalfLiesOnTheSlicePlane)
{
	const ViewState state = sliceLike();
	const Eigen::Vector3d onPlane = state.unproject({100, 50, 0.5});
	EXPECT_NEAR(onPlane.z(), 5.0, 1e-12);
	EXPECT_NEAR(onPlane.x(), 0.0, 1e-12);
	EXPECT_TRUE(state.zDir().isApprox(Eigen::Vector3d::UnitZ()));
}

TEST(ViewStateTest, PixelIncrementIsOnePixelRightAndUp)
{
	const auto [right, up] = sliceLike().unprojectPixelIncrement({0.5, 0.5, 5.0});
	EXPECT_TRUE(right.isApprox(Eigen::Vector3d(0.02, 0, 0), 1e-9));
	EXPECT_TRUE(up.isApprox(Eigen::Vector3d(0, 0.02, 0), 1e-9));
}
