#include "src/imaging/LabelVolume.h"

#include <cmath>
#include <limits>
#include <utility>

#include "host/lib/DataList.h"
#include "host/lib/DistanceTransform.h"
#include "host/lib/ImageProcessing.h"
#include "host/lib/ImageResamplingAlgorithm.h"
#include "host/lib/LabelStatistics.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"

namespace Quorvale::LabelVolume
{
	std::unique_ptr<SharedImageSet> binarise(const SharedImageSet& labels)
	{
		const SharedImage& current = *labels.get(-1);
		const MemImage& memory = *current.mem();
		std::unique_ptr<MemImage> mask;
		if (memory.pixelType() == ImageDescriptor::UnsignedChar)
			mask = dynamic_cast<const TypedImage<unsigned char>&>(memory).clone();
		else
			mask = ImageProcessing::createThresholded(memory, 0.5, ImageProcessing::StrictlyGreater | ImageProcessing::OriginalValues);
		auto image = std::make_unique<SharedImage>(std::move(mask));
		image->setMatrixToWorld(current.matrixToWorld());
		image->setModality(Data::LabelMap);
		std::unique_ptr<SharedImageSet> set = labels.clone(SharedImageSet::CloneWithoutImages);
		set->add(std::move(image));
		return set;
	}

	std::optional<Geometry::AlignedBox> labelBounds(const SharedImage& image)
	{
		const auto bounds = LabelStatistics::computeBounds(*image.mem());
		if (bounds.empty())
			return std::nullopt;
		Geometry::AlignedBox box;
		for (const auto& [label, labelBounds] : bounds)
		{
			box.addPoint(labelBounds.min.cast<double>());
			box.addPoint(labelBounds.max.cast<double>());
		}
		return box;
	}

	Eigen::Vector3d samplesAcross(const ImageDescriptorWorld& descriptor, const Geometry::AlignedBox& bounds, double target)
	{
		const Eigen::Vector3d extent = bounds.max() - bounds.min();
		Eigen::Vector3d samples;
		for (int a = 0; a < 3; ++a)
			samples[a] = std::ceil(descriptor.spacing()[a] * extent[a] / target);
		return samples;
	}

	ImageDescriptorWorld gridAround(const ImageDescriptorWorld& descriptor, const Geometry::AlignedBox& bounds,
	                                const Eigen::Vector3d& samples, double target, const GridLayout& layout)
	{
		const bool twoD = descriptor.dimension() == 2;
		Eigen::Vector3i sizes;
		for (int a = 0; a < (twoD ? 2 : 3); ++a)
		{
			const int n = static_cast<int>(samples[a]);
			sizes[a] = n + 2 * layout.margin + (layout.oddSizes && n % 2 == 0 ? 1 : 0);
		}
		Eigen::Vector3d spacing = Eigen::Vector3d::Constant(target);
		if (twoD)
		{
			spacing.z() = 1.0;
			sizes.z() = 1;
		}
		// std::round rounds halves away from zero.
		const Eigen::Vector3d centre =
		    layout.centreOnVoxel ? Eigen::Vector3d(bounds.center().unaryExpr([](double v) { return std::round(v); })) : bounds.center();
		Eigen::Matrix4d matrix = descriptor.matrixToWorld();
		matrix.topRightCorner<3, 1>() = descriptor.pixelToWorld(centre);

		ImageDescriptorWorld grid = descriptor;
		grid.setDimensions(sizes, 0);
		grid.setSpacing(spacing, grid.isMetric());
		grid.setMatrixToWorld(matrix);
		return grid;
	}

	std::unique_ptr<SharedImageSet> resample(const SharedImageSet& set, const ImageDescriptorWorld& grid)
	{
		ImageResamplingAlgorithm resampling(set, {grid});
		resampling.setReductionMode(ImageResamplingAlgorithm::Maximum);
		resampling.compute();
		return resampling.takeOutput().extractFirstImage(0, 0);
	}

	std::unique_ptr<SharedImageSet> distanceImage(const SharedImageSet& mask)
	{
		const SharedImage& image = *mask.get(0);
		const ImageDescriptor& layout = image.descriptor();
		auto distance = DistanceTransform::computeChamfer(dynamic_cast<const TypedImage<unsigned char>&>(*image.mem()), true, true, 0);
		distance->setSpacing(layout.spacing(), layout.isMetric());
		auto distanceImage = std::make_unique<SharedImage>(std::move(distance));
		distanceImage->setMatrixToWorld(image.matrixToWorld());
		return std::make_unique<SharedImageSet>(std::move(distanceImage));
	}

	double finestSpacing() { return std::sqrt(static_cast<double>(std::numeric_limits<float>::min())); }

	double longestDistance() { return std::sqrt(static_cast<double>(std::numeric_limits<float>::max())); }
}
