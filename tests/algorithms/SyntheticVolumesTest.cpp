#include "synthetic/VesselVolume.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include <Eigen/Geometry>

#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"

using namespace Quorvale;

namespace
{
	constexpr double kPi = 3.14159265358979323846;

	const TypedImage<unsigned char>& labels(const SharedImageSet& set)
	{
		return dynamic_cast<const TypedImage<unsigned char>&>(*set.get()->mem());
	}

	size_t countInside(const SharedImageSet& set)
	{
		const TypedImage<unsigned char>& image = labels(set);
		size_t count = 0;
		for (size_t i = 0; i < image.descriptor().size(); ++i)
			count += image.pointer()[i] != 0 ? 1 : 0;
		return count;
	}

	/// The label of the voxel nearest to a world point.
	int labelAt(const SharedImageSet& set, const Eigen::Vector3d& world)
	{
		const Eigen::Vector3d pixel = set.get()->descriptorWorld().worldToPixel(world);
		const Eigen::Vector3i voxel = (pixel.array() + 0.5).floor().cast<int>();
		return labels(set).at(voxel.x(), voxel.y(), voxel.z());
	}
}

TEST(SyntheticVolumesTest, LabelVolumeIsAnEmptyLabelMap)
{
	const Eigen::Matrix4d matrix = (Eigen::Translation3d(1, 2, 3) * Eigen::AngleAxisd(0.3, Eigen::Vector3d::UnitY())).matrix();
	auto set = SyntheticVolumes::createLabelVolume({10, 12, 7}, {0.5, 1.0, 2.0}, matrix);
	ASSERT_EQ(set->size(), 1);
	const SharedImage& image = *set->get();
	EXPECT_EQ(image.descriptor().pixelType(), ImageDescriptor::UnsignedChar);
	EXPECT_EQ(image.descriptor().channels(), 1);
	EXPECT_EQ(image.descriptor().dimensions(), Eigen::Vector3i(10, 12, 7));
	EXPECT_EQ(image.descriptor().spacing(), Eigen::Vector3d(0.5, 1.0, 2.0));
	EXPECT_EQ(set->modality(), Data::LabelMap);
	EXPECT_TRUE(image.matrixToWorld().isApprox(matrix));
	EXPECT_EQ(countInside(*set), 0u);

	EXPECT_THROW(SyntheticVolumes::createLabelVolume({10, 0, 7}, {1, 1, 1}), std::invalid_argument);
	EXPECT_THROW(SyntheticVolumes::createLabelVolume({10, 10, 7}, {1, -1, 1}), std::invalid_argument);
}

TEST(SyntheticVolumesTest, TubesAndBallsHaveTheirWorldSize)
{
	// Anisotropic voxels in a rotated, shifted image: the shapes keep their world geometry.
	const Eigen::Matrix4d matrix =
	    (Eigen::Translation3d(-4, 6, 1) * Eigen::AngleAxisd(0.6, Eigen::Vector3d(1, 1, 0).normalized())).matrix();
	const Eigen::Vector3d spacing(0.4, 0.5, 0.8);
	auto set = SyntheticVolumes::createLabelVolume({150, 120, 75}, spacing, matrix);
	const Eigen::Vector3d centre = (matrix * Eigen::Vector4d(0, 0, 0, 1)).head<3>();
	const Eigen::Vector3d axis = Eigen::Vector3d(1, -2, 0.5).normalized();
	const SyntheticVolumes::Tube tube{centre - 15.0 * axis, centre + 15.0 * axis, 5.0};
	SyntheticVolumes::paintTube(*set->get(), tube);
	const double voxel = spacing.prod();
	EXPECT_NEAR(countInside(*set) * voxel, kPi * 25.0 * 30.0, 0.02 * kPi * 25.0 * 30.0);

	// Inside along the axis and just within the wall, outside beyond the wall and past the flat ends.
	const Eigen::Vector3d across = axis.cross(Eigen::Vector3d::UnitZ()).normalized();
	EXPECT_EQ(labelAt(*set, centre), 1);
	EXPECT_EQ(labelAt(*set, centre + 14.0 * axis), 1);
	EXPECT_EQ(labelAt(*set, centre + 4.0 * across), 1);
	EXPECT_EQ(labelAt(*set, centre + 6.0 * across), 0);
	EXPECT_EQ(labelAt(*set, centre + 16.5 * axis), 0);

	const size_t before = countInside(*set);
	SyntheticVolumes::paintBall(*set->get(), {centre + 20.0 * across, 4.0});
	EXPECT_NEAR((countInside(*set) - before) * voxel, 4.0 / 3.0 * kPi * 64.0, 0.03 * 4.0 / 3.0 * kPi * 64.0);
	EXPECT_EQ(labelAt(*set, centre + 20.0 * across), 1);
	EXPECT_EQ(labelAt(*set, centre + 25.0 * across), 0);

	// Shapes reaching over the border are clipped; shapes entirely outside change nothing. The axis
	// runs between voxel centres, so each of the 20 slices has 8 centres per quadrant within 3 mm.
	auto clipped = SyntheticVolumes::createVesselVolume({20, 20, 20}, {1, 1, 1}, Eigen::Matrix4d::Identity(),
	                                                    {{{-50, 0, 0}, {50, 0, 0}, 3.0}}, {{{500, 0, 0}, 3.0}});
	EXPECT_EQ(countInside(*clipped), 20u * 32u);
}

TEST(SyntheticVolumesTest, RefusesWhatItCannotPaint)
{
	auto set = SyntheticVolumes::createLabelVolume({8, 8, 8}, {1, 1, 1});
	EXPECT_THROW(SyntheticVolumes::paintTube(*set->get(), {{0, 0, 0}, {1, 0, 0}, -1.0}), std::invalid_argument);
	EXPECT_THROW(SyntheticVolumes::paintBall(*set->get(), {{0, 0, 0}, -0.5}), std::invalid_argument);
	SyntheticVolumes::paintTube(*set->get(), {{0, 0, 0}, {0, 0, 0}, 3.0});
	EXPECT_EQ(countInside(*set), 0u);

	SharedImage floats(MemImage::create(ImageDescriptor(ImageDescriptor::Float, {8, 8, 8})));
	EXPECT_THROW(SyntheticVolumes::paintBall(floats, {{0, 0, 0}, 2.0}), std::invalid_argument);
}
