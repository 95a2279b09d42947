#include "host/lib/ImageDescriptor.h"
#include "host/lib/ImageDescriptorWorld.h"

#include <Eigen/Geometry>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace Quorvale;

namespace
{
	void expectNear(const Eigen::Vector3d& actual, const Eigen::Vector3d& expected)
	{
		EXPECT_TRUE(actual.isApprox(expected, 1e-12) || (actual - expected).norm() < 1e-12)
		    << "actual " << actual.transpose() << ", expected " << expected.transpose();
	}

	// Rotation of 90 degrees about z, (x, y, z) -> (-y, x, z), then a shift.
	Eigen::Matrix4d rotatedPlacement()
	{
		Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
		m.topLeftCorner<3, 3>() = Eigen::AngleAxisd(EIGEN_PI / 2, Eigen::Vector3d::UnitZ()).toRotationMatrix();
		m.topRightCorner<3, 1>() = Eigen::Vector3d(10, 20, 30);
		return m;
	}
}

TEST(ImageDescriptorTest, LinearIndexRunsXFastestWithInterleavedChannels)
{
	ImageDescriptor d(ImageDescriptor::Float, {4, 3, 2}, 3);
	EXPECT_EQ(d.size(), 24u);
	EXPECT_EQ(d.byteSize(), 24u * 3u * 4u);
	EXPECT_EQ(d.index(1, 2, 1), 21u);
	EXPECT_EQ(d.elementIndex(1, 2, 1, 2), 21u * 3u + 2u);
	EXPECT_EQ(d.coord(21), Eigen::Vector3i(1, 2, 1));
	for (std::size_t i = 0; i < d.size(); ++i)
	{
		const Eigen::Vector3i c = d.coord(i);
		EXPECT_EQ(d.index(c.x(), c.y(), c.z()), i);
		EXPECT_TRUE(d.isInside(c.x(), c.y(), c.z()));
	}
	EXPECT_FALSE(d.isInside(4, 0, 0));
	EXPECT_FALSE(d.isInside(0, -1, 0));
}

TEST(ImageDescriptorTest, TypeSizesAndValidity)
{
	EXPECT_EQ(ImageDescriptor::typeSize(ImageDescriptor::Char), 1);
	EXPECT_EQ(ImageDescriptor::typeSize(ImageDescriptor::UnsignedShort), 2);
	EXPECT_EQ(ImageDescriptor::typeSize(ImageDescriptor::Bytes3), 3);
	EXPECT_EQ(ImageDescriptor::typeSize(ImageDescriptor::HalfFloat), 4);
	EXPECT_EQ(ImageDescriptor::typeSize(ImageDescriptor::Double), 8);
	EXPECT_EQ(ImageDescriptor::typeSize(1234), 0);
	EXPECT_FALSE(ImageDescriptor::isNumericPixelType(ImageDescriptor::Bytes4));
	EXPECT_TRUE(ImageDescriptor::isNumericPixelType(ImageDescriptor::HalfFloat));

	ImageDescriptor empty;
	EXPECT_FALSE(empty.isValid());
	EXPECT_EQ(empty.size(), 0u);
	empty.setDimensions({2, 2, 1}, 0);
	EXPECT_TRUE(empty.isValid());
	EXPECT_EQ(empty.channels(), 1);
	EXPECT_EQ(empty.dimension(), 2);
	empty.setDimensions({2, 2, 2}, 4);
	EXPECT_EQ(empty.channels(), 4);
	EXPECT_EQ(empty.dimension(), 3);

	EXPECT_FALSE(ImageDescriptor(ImageDescriptor::Float, {2, -1, 1}).isValid());
	EXPECT_FALSE(ImageDescriptor(ImageDescriptor::Float, {2, 2, 1}, 1, {1, 0, 1}).isValid());
	EXPECT_FALSE(ImageDescriptor(4242, {2, 2, 1}).isValid());
}

TEST(ImageDescriptorTest, StorageMappingIsLinearAndInvertible)
{
	ImageDescriptor d(ImageDescriptor::UnsignedShort, {1, 1, 1});
	EXPECT_TRUE(d.hasIdentityStorageMapping());
	EXPECT_DOUBLE_EQ(d.storageToOriginal(7), 7);
	d.setStorageMapping(0.5, -10);
	EXPECT_DOUBLE_EQ(d.storageToOriginal(100), 40);
	EXPECT_DOUBLE_EQ(d.originalToStorage(40), 100);
	EXPECT_THROW(d.setStorageMapping(0.0, 1.0), std::invalid_argument);
	EXPECT_THROW(d.setStorageMapping(std::nan(""), 1.0), std::invalid_argument);
	EXPECT_DOUBLE_EQ(d.slope(), 0.5);
}

TEST(ImageDescriptorWorldTest, PixelAndImageFramesWithAnisotropicSpacing)
{
	ImageDescriptor d(ImageDescriptor::Float, {4, 6, 3}, 1, {0.5, 2.0, 3.0});
	expectNear(d.extent(), {2.0, 12.0, 9.0});
	const Eigen::Matrix4d toImage = d.pixelToImageMatrix();
	// Voxel (0, 0, 0) sits (dimension - 1) / 2 voxels below the centre on each axis.
	expectNear((toImage * Eigen::Vector4d(0, 0, 0, 1)).head<3>(), {-0.75, -5.0, -3.0});
	expectNear((toImage * Eigen::Vector4d(1.5, 2.5, 1, 1)).head<3>(), {0, 0, 0});
	EXPECT_TRUE((d.imageToPixelMatrix() * toImage).isApprox(Eigen::Matrix4d::Identity()));
}

TEST(ImageDescriptorWorldTest, RotatedPlacementMapsCentreAndCorners)
{
	const ImageDescriptorWorld w(ImageDescriptor(ImageDescriptor::Float, {4, 6, 3}, 1, {0.5, 2.0, 3.0}), rotatedPlacement());
	// The centre of the volume is the placement's translation.
	expectNear(w.pixelToWorld({1.5, 2.5, 1.0}), {10, 20, 30});
	// Corner (0, 0, 0): image (-0.75, -5, -3), rotated to (5, -0.75, -3), shifted.
	expectNear(w.pixelToWorld({0, 0, 0}), {15, 19.25, 27});
	// Corner (3, 5, 2): image (0.75, 5, 3), rotated to (-5, 0.75, 3), shifted.
	expectNear(w.pixelToWorld({3, 5, 2}), {5, 20.75, 33});
	expectNear(w.worldToPixel({15, 19.25, 27}), {0, 0, 0});
	expectNear(w.worldToPixel({10, 20, 30}), {1.5, 2.5, 1.0});
	EXPECT_TRUE((w.worldToPixelMatrix() * w.pixelToWorldMatrix()).isApprox(Eigen::Matrix4d::Identity()));
	EXPECT_TRUE(w.pixelToWorldMatrix().isApprox(w.matrixToWorld() * w.pixelToImageMatrix()));
}

TEST(ImageDescriptorWorldTest, FlatImageIsCentredInItsOnlySlice)
{
	const ImageDescriptorWorld w(ImageDescriptor(ImageDescriptor::UnsignedChar, {5, 4, 1}, 1, {1.0, 1.0, 2.0}));
	EXPECT_EQ(w.dimension(), 2);
	expectNear(w.pixelToWorld({0, 0, 0}), {-2.0, -1.5, 0.0});
	expectNear(w.worldToPixel({0, 0, 1.0}), {2.0, 1.5, 0.5});
}
