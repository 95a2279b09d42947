#include "synthetic/VesselVolume.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

#include <Eigen/Geometry>

#include "host/lib/ImageDescriptorWorld.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"

namespace Quorvale::SyntheticVolumes
{
	namespace
	{
		TypedImage<unsigned char>& labelsOf(SharedImage& image)
		{
			auto* labels = dynamic_cast<TypedImage<unsigned char>*>(image.mem());
			if (!labels || image.descriptor().pixelType() != ImageDescriptor::UnsignedChar)
				throw std::invalid_argument("Shapes can only be painted into unsigned 8-bit label images.");
			return *labels;
		}

		void checkRadius(double radius)
		{
			if (!(radius >= 0.0))
				throw std::invalid_argument("The radius of a painted shape must not be negative.");
		}

		/// Sets to 1 the voxels whose world-space centre satisfies `inside`, testing only the voxels of
		/// the pixel-space box around the world-space box [low, high].
		template <typename Inside>
		void paint(SharedImage& image, const Eigen::Vector3d& low, const Eigen::Vector3d& high, const Inside& inside)
		{
			TypedImage<unsigned char>& labels = labelsOf(image);
			const ImageDescriptorWorld descriptor = image.descriptorWorld();
			const Eigen::Matrix4d worldToPixel = descriptor.worldToPixelMatrix();
			const Eigen::Matrix4d pixelToWorld = descriptor.pixelToWorldMatrix();
			const Eigen::Vector3i& dimensions = descriptor.dimensions();

			Eigen::Vector3d first = Eigen::Vector3d::Constant(std::numeric_limits<double>::infinity());
			Eigen::Vector3d last = -first;
			for (int corner = 0; corner < 8; ++corner)
			{
				const Eigen::Vector3d world((corner & 1) ? high.x() : low.x(), (corner & 2) ? high.y() : low.y(),
				                            (corner & 4) ? high.z() : low.z());
				const Eigen::Vector3d pixel = (worldToPixel * world.homogeneous()).head<3>();
				first = first.cwiseMin(pixel);
				last = last.cwiseMax(pixel);
			}
			Eigen::Vector3i from;
			Eigen::Vector3i to;
			for (int axis = 0; axis < 3; ++axis)
			{
				from[axis] = static_cast<int>(std::max(0.0, std::floor(first[axis])));
				to[axis] = static_cast<int>(std::min(static_cast<double>(dimensions[axis] - 1), std::ceil(last[axis])));
			}

			const Eigen::Vector3d stepX = pixelToWorld.col(0).head<3>();
			for (int z = from.z(); z <= to.z(); ++z)
				for (int y = from.y(); y <= to.y(); ++y)
				{
					const Eigen::Vector3d rowStart = (pixelToWorld * Eigen::Vector4d(0.0, y, z, 1.0)).head<3>();
					for (int x = from.x(); x <= to.x(); ++x)
						if (inside(Eigen::Vector3d(rowStart + x * stepX)))
							labels.at(x, y, z) = 1;
				}
			image.setDirtyMem();
		}
	}

	std::unique_ptr<SharedImageSet> createLabelVolume(const Eigen::Vector3i& dimensions, const Eigen::Vector3d& spacing,
	                                                  const Eigen::Matrix4d& matrixToWorld)
	{
		if ((dimensions.array() <= 0).any() || !(spacing.array() > 0.0).all())
			throw std::invalid_argument("A label volume needs positive dimensions and spacing.");
		const ImageDescriptor descriptor(ImageDescriptor::UnsignedChar, dimensions, 1, spacing);
		auto image = std::make_unique<SharedImage>(MemImage::create(descriptor), "Vessels");
		image->setMatrixToWorld(matrixToWorld);
		auto set = std::make_unique<SharedImageSet>(std::move(image), "Vessels");
		set->setModality(Data::LabelMap);
		return set;
	}

	void paintTube(SharedImage& image, const Tube& tube)
	{
		checkRadius(tube.radius);
		const Eigen::Vector3d axis = tube.to - tube.from;
		const double squaredLength = axis.squaredNorm();
		if (squaredLength == 0.0)
		{
			labelsOf(image);
			return;
		}
		const double squaredRadius = tube.radius * tube.radius;
		const Eigen::Vector3d margin = Eigen::Vector3d::Constant(tube.radius);
		paint(image, tube.from.cwiseMin(tube.to) - margin, tube.from.cwiseMax(tube.to) + margin,
		      [&](const Eigen::Vector3d& point)
		      {
			      const double t = (point - tube.from).dot(axis) / squaredLength;
			      return t >= 0.0 && t <= 1.0 && (point - (tube.from + t * axis)).squaredNorm() <= squaredRadius;
		      });
	}

	void paintBall(SharedImage& image, const Ball& ball)
	{
		checkRadius(ball.radius);
		const double squaredRadius = ball.radius * ball.radius;
		const Eigen::Vector3d margin = Eigen::Vector3d::Constant(ball.radius);
		paint(image, ball.centre - margin, ball.centre + margin,
		      [&](const Eigen::Vector3d& point) { return (point - ball.centre).squaredNorm() <= squaredRadius; });
	}

	std::unique_ptr<SharedImageSet> createVesselVolume(const Eigen::Vector3i& dimensions, const Eigen::Vector3d& spacing,
	                                                   const Eigen::Matrix4d& matrixToWorld, const std::vector<Tube>& tubes,
	                                                   const std::vector<Ball>& balls)
	{
		std::unique_ptr<SharedImageSet> set = createLabelVolume(dimensions, spacing, matrixToWorld);
		for (const Tube& tube : tubes)
			paintTube(*set->get(), tube);
		for (const Ball& ball : balls)
			paintBall(*set->get(), ball);
		return set;
	}
}
