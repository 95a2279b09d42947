#include "host/gui/GlMesh.h"

#include "host/gui/GlSliceView.h"
#include "host/gui/GlVolumeView.h"
#include "host/lib/Mesh.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>

using namespace Quorvale;

namespace
{
	/// A square of side 10 around `at` spanning `u` and z, its lower edge in `bottom`, its upper edge in `top`.
	std::unique_ptr<Mesh> square(const Eigen::Vector3d& at, const Eigen::Vector3d& u, const Eigen::Vector4f& bottom,
	                             const Eigen::Vector4f& top)
	{
		std::vector<Eigen::Vector3d> corners;
		for (const auto& [du, dz] : {std::pair(-5, -5), std::pair(5, -5), std::pair(5, 5), std::pair(-5, 5)})
			corners.push_back(at + du * u + Eigen::Vector3d(0, 0, dz));
		auto mesh = std::make_unique<Mesh>(corners, std::vector<Eigen::Vector3i>{{0, 1, 2}, {0, 2, 3}});
		mesh->setBaseColors({bottom, bottom, top, top});
		return mesh;
	}
}

TEST(GlMeshTest, WithoutAnImageTheVolumeViewFramesTheSurfaceInItsColoursLitFromTheViewer)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	// Placed by its matrix, facing the 3-D view's camera at turn 0 and tilt 0 (the x-z plane).
	const Eigen::Vector3d centre(100, 200, 300);
	auto mesh = square(Eigen::Vector3d::Zero(), Eigen::Vector3d::UnitX(), RenderTest::Red, RenderTest::Red);
	mesh->setMatrixToWorld(Eigen::Affine3d(Eigen::Translation3d(centre)).matrix());
	GlMesh object(*mesh);
	GlVolumeView view;
	view.setCamera(0, 0, 1);
	view.addObject(&object);
	const RenderTest::Frame frame = RenderTest::render(view);
	EXPECT_TRUE(RenderTest::near(frame.at(centre), RenderTest::Red, 3));
	const double width =
	    (frame.viewState.project(centre + Eigen::Vector3d(5, 0, 0)) - frame.viewState.project(centre - Eigen::Vector3d(5, 0, 0))).x();
	EXPECT_GT(std::abs(width), RenderTest::Size / 3.0);

	// Turned 60 degrees away from the viewer, in new colours: 0.3 + 0.7 cos 60 of the light.
	mesh->setMatrixToWorld((Eigen::Translation3d(centre) * Eigen::AngleAxisd(M_PI / 3, Eigen::Vector3d::UnitZ())).matrix());
	mesh->setBaseColors(std::vector<Eigen::Vector4f>(4, RenderTest::Green));
	EXPECT_TRUE(RenderTest::near(RenderTest::render(view).at(centre), Eigen::Vector4f(0, 0.65f, 0, 1), 3));
}

TEST(GlMeshTest, SliceViewsOfAVolumeShowTheCutLineInInterpolatedColours)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	auto image = RenderTest::image({21, 21, 21});
	GlSliceView axial(2), sagittal(0);
	Eigen::Vector3d onPlane, normal;
	axial.setImage(image.get());
	sagittal.setImage(image.get());
	ASSERT_TRUE(axial.slice().plane(onPlane, normal));
	// Across the axial plane, beside the sagittal one.
	const Eigen::Vector3d at = onPlane + Eigen::Vector3d(3, 0, 0);
	auto mesh = square(at, Eigen::Vector3d::UnitY(), RenderTest::Blue, RenderTest::Green);
	GlMesh object(*mesh);
	for (GlView* view : std::initializer_list<GlView*>{&axial, &sagittal})
		view->addObject(&object);
	const Eigen::Vector4f halfway(0, 0.5f, 0.5f, 1);
	EXPECT_TRUE(RenderTest::near(RenderTest::render(axial).at(at), halfway)) << RenderTest::render(axial).at(at).name().toStdString();
	EXPECT_TRUE(RenderTest::near(RenderTest::render(sagittal).at(at), RenderTest::Black));

	// Above the square's top the plane cuts nothing; without an image there is no plane.
	axial.slice().step(6);
	EXPECT_TRUE(RenderTest::near(RenderTest::render(axial).at(at + Eigen::Vector3d(0, 0, 6)), RenderTest::Black));
	GlSliceView empty(2);
	empty.addObject(&object);
	EXPECT_EQ(RenderTest::count(RenderTest::render(empty).image, RenderTest::Blue), 0);
	EXPECT_EQ(RenderTest::count(RenderTest::render(empty).image, halfway), 0);
}

TEST(GlMeshTest, TheCutOfAMeshWithoutColoursShowsOverDarkAndBrightSlices)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	for (const unsigned char value : {0, 255})
	{
		SCOPED_TRACE(static_cast<int>(value));
		auto image = RenderTest::image({21, 21, 21});
		auto* voxels = static_cast<unsigned char*>(image->mem()->data());
		std::fill_n(voxels, image->mem()->byteSize(), value);
		voxels[0] = 255 - value; // so that the slice is not one flat grey
		GlSliceView axial(2);
		axial.setImage(image.get());
		Eigen::Vector3d onPlane, normal;
		ASSERT_TRUE(axial.slice().plane(onPlane, normal));
		auto mesh = square(onPlane, Eigen::Vector3d::UnitY(), RenderTest::Red, RenderTest::Red);
		mesh->setGeometry(mesh->vertices(), mesh->triangles());
		GlMesh object(*mesh);
		axial.addObject(&object);
		// A light line edged in black: across it some pixel stands far from the slice, bright or dark.
		const RenderTest::Frame frame = RenderTest::render(axial);
		EXPECT_TRUE(RenderTest::near(frame.at(onPlane), Eigen::Vector4f(1.0f, 0.85f, 0.1f, 1.0f), 40)) << frame.at(onPlane).name().toStdString();
		const int slice = qGray(frame.at(onPlane + Eigen::Vector3d(6, 0, 0)).rgb());
		int contrast = 0;
		for (int dx = -3; dx <= 3; ++dx)
			contrast = std::max(contrast, std::abs(qGray(frame.at(onPlane, dx).rgb()) - slice));
		EXPECT_GT(contrast, 150);
	}
}
