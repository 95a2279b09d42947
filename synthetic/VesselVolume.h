#pragma once

#include <Eigen/Core>

#include <memory>
#include <vector>

namespace Quorvale
{
	class SharedImage;
	class SharedImageSet;

	/// Synthetic label volumes of known geometry for tests and benchmarks: solid tubes and balls
	/// painted into an unsigned 8-bit label map (1 inside, 0 outside). Shapes are given in world
	/// coordinates (millimetres); a voxel is inside when its centre is. Any spacing and placement
	/// works; the result depends on nothing but the arguments.
	namespace SyntheticVolumes
	{
		/// A solid cylinder with flat ends around the segment from `from` to `to`.
		struct Tube
		{
			Eigen::Vector3d from;
			Eigen::Vector3d to;
			double radius = 1.0;
		};

		/// A solid sphere, e.g. to round off the joints of tubes.
		struct Ball
		{
			Eigen::Vector3d centre;
			double radius = 1.0;
		};

		/// An image set holding one zero-filled label image: unsigned 8-bit, one channel, modality
		/// `Data::LabelMap`, placed in the world by `matrixToWorld`. Throws std::invalid_argument for
		/// non-positive dimensions or spacing.
		std::unique_ptr<SharedImageSet> createLabelVolume(const Eigen::Vector3i& dimensions, const Eigen::Vector3d& spacing,
		                                                  const Eigen::Matrix4d& matrixToWorld = Eigen::Matrix4d::Identity());

		/// Sets to 1 every voxel whose centre lies inside the tube (a tube of zero length paints
		/// nothing). Throws std::invalid_argument for an image that is not unsigned 8-bit or a
		/// negative radius.
		void paintTube(SharedImage& image, const Tube& tube);
		/// Sets to 1 every voxel whose centre lies inside the ball; throws like `paintTube`.
		void paintBall(SharedImage& image, const Ball& ball);

		/// `createLabelVolume` with the tubes and balls painted into it.
		std::unique_ptr<SharedImageSet> createVesselVolume(const Eigen::Vector3i& dimensions, const Eigen::Vector3d& spacing,
		                                                   const Eigen::Matrix4d& matrixToWorld, const std::vector<Tube>& tubes,
		                                                   const std::vector<Ball>& balls = {});
	}
}
