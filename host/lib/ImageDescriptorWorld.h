#pragma once

#include "host/lib/ImageDescriptor.h"

#include <Eigen/Core>

namespace Quorvale
{
	/// An image layout placed in the world: `matrixToWorld` maps image coordinates (millimetres
	/// centred on the volume, see `ImageDescriptor`) to world coordinates. Pixel coordinates reach
	/// the world through the image frame: world = matrixToWorld * pixelToImage * pixel.
	class ImageDescriptorWorld : public ImageDescriptor
	{
	public:
		ImageDescriptorWorld() = default;
		explicit ImageDescriptorWorld(const ImageDescriptor& descriptor,
		                              const Eigen::Matrix4d& matrixToWorld = Eigen::Matrix4d::Identity());

		/// Image to world coordinates.
		const Eigen::Matrix4d& matrixToWorld() const { return m_matrixToWorld; }
		void setMatrixToWorld(const Eigen::Matrix4d& matrix) { m_matrixToWorld = matrix; }
		/// World to image coordinates: the inverse of `matrixToWorld`.
		Eigen::Matrix4d matrixFromWorld() const;

		/// The layout without the placement.
		const ImageDescriptor& descriptor() const { return *this; }

		/// Continuous pixel coordinates to world coordinates.
		Eigen::Matrix4d pixelToWorldMatrix() const;
		/// World coordinates to continuous pixel coordinates.
		Eigen::Matrix4d worldToPixelMatrix() const;
		Eigen::Vector3d pixelToWorld(const Eigen::Vector3d& pixel) const;
		Eigen::Vector3d worldToPixel(const Eigen::Vector3d& world) const;

		bool operator==(const ImageDescriptorWorld& other) const;
		bool operator!=(const ImageDescriptorWorld& other) const { return !(*this == other); }

	private:
		Eigen::Matrix4d m_matrixToWorld = Eigen::Matrix4d::Identity();
	};
}
