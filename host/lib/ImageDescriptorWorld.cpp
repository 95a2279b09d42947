#include "host/lib/ImageDescriptorWorld.h"

#include <Eigen/Geometry>
#include <Eigen/LU>

namespace Quorvale
{
	ImageDescriptorWorld::ImageDescriptorWorld(const ImageDescriptor& descriptor, const Eigen::Matrix4d& matrixToWorld)
	    : ImageDescriptor(descriptor)
	    , m_matrixToWorld(matrixToWorld)
	{
	}

	Eigen::Matrix4d ImageDescriptorWorld::matrixFromWorld() const { return m_matrixToWorld.inverse(); }

	Eigen::Matrix4d ImageDescriptorWorld::pixelToWorldMatrix() const { return m_matrixToWorld * pixelToImageMatrix(); }

	Eigen::Matrix4d ImageDescriptorWorld::worldToPixelMatrix() const { return imageToPixelMatrix() * matrixFromWorld(); }

	Eigen::Vector3d ImageDescriptorWorld::pixelToWorld(const Eigen::Vector3d& pixel) const
	{
		return (pixelToWorldMatrix() * pixel.homogeneous()).head<3>();
	}

	Eigen::Vector3d ImageDescriptorWorld::worldToPixel(const Eigen::Vector3d& world) const
	{
		return (worldToPixelMatrix() * world.homogeneous()).head<3>();
	}

	bool ImageDescriptorWorld::operator==(const ImageDescriptorWorld& other) const
	{
		return ImageDescriptor::operator==(other) && m_matrixToWorld == other.m_matrixToWorld;
	}
}
