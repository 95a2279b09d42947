#include "host/lib/LabelStatistics.h"

#include "host/lib/TypedImage.h"

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <vector>

using namespace Quorvale;

namespace
{
	std::vector<double> labelsOf(const std::map<double, LabelStatistics::Bounds>& bounds)
	{
		std::vector<double> labels;
		for (const auto& entry : bounds)
			labels.push_back(entry.first);
		return labels;
	}
}

TEST(LabelStatisticsTest, BoundsAreInclusivePerNonZeroLabelInAscendingOrder)
{
	auto image = TypedImage<unsigned char>::create({6, 5, 4});
	image->at(1, 1, 0) = 3;
	image->at(2, 1, 0) = 3;
	image->at(3, 1, 0) = 3; // a run along x
	image->at(0, 4, 2) = 3;
	image->at(5, 0, 3) = 1;
	image->at(4, 2, 1) = 7;

	const auto bounds = LabelStatistics::computeBounds(*image);
	ASSERT_EQ(labelsOf(bounds), (std::vector<double>{1, 3, 7}));
	EXPECT_EQ(bounds.at(3).min, Eigen::Vector3i(0, 1, 0));
	EXPECT_EQ(bounds.at(3).max, Eigen::Vector3i(3, 4, 2));
	EXPECT_EQ(bounds.at(1).min, Eigen::Vector3i(5, 0, 3));
	EXPECT_EQ(bounds.at(1).max, Eigen::Vector3i(5, 0, 3));
	EXPECT_EQ(bounds.at(7).min, Eigen::Vector3i(4, 2, 1));
	EXPECT_EQ(bounds.at(7).max, Eigen::Vector3i(4, 2, 1));
}

TEST(LabelStatisticsTest, FloatLabelsSkipZeroAndNaNAndUseChannelZero)
{
	auto image = TypedImage<float>::create({3, 2, 1}, 2);
	const float nan = std::numeric_limits<float>::quiet_NaN();
	// Channel 0 of each pixel, channel 1 holds values that must be ignored.
	const float values[] = {-2.0f, 9.0f, 0.0f, 9.0f, nan, 9.0f, 0.5f, 9.0f, -2.0f, 9.0f, 0.0f, 9.0f};
	std::copy(std::begin(values), std::end(values), image->pointer());

	const auto bounds = LabelStatistics::computeBounds(*image);
	ASSERT_EQ(labelsOf(bounds), (std::vector<double>{-2.0, 0.5}));
	EXPECT_EQ(bounds.at(-2.0).min, Eigen::Vector3i(0, 0, 0));
	EXPECT_EQ(bounds.at(-2.0).max, Eigen::Vector3i(1, 1, 0));
	EXPECT_EQ(bounds.at(0.5).min, Eigen::Vector3i(0, 1, 0));
}

TEST(LabelStatisticsTest, LabelsAreOriginalValuesAndAnEmptyImageHasNone)
{
	auto image = TypedImage<unsigned short>::create({4, 4, 4});
	EXPECT_TRUE(LabelStatistics::computeBounds(*image).empty());

	image->setStorageMapping(2.0, 0.0);
	image->at(3, 2, 1) = 5;
	const auto bounds = LabelStatistics::computeBounds(*image);
	ASSERT_EQ(labelsOf(bounds), (std::vector<double>{10.0}));

	auto untyped = MemImage::create(ImageDescriptor(ImageDescriptor::Bytes2, {2, 2, 1}));
	EXPECT_THROW(LabelStatistics::computeBounds(*untyped), std::invalid_argument);
}

TEST(LabelStatisticsTest, BoundsOfAVolumeSpanningManyRowsMatchAScan)
{
	// Enough rows that every thread sees some; the merge of the threads' bounds must agree with a plain scan.
	auto image = TypedImage<unsigned char>::create({17, 23, 29});
	unsigned state = 12345;
	std::map<double, LabelStatistics::Bounds> expected;
	for (int z = 0; z < 29; ++z)
		for (int y = 0; y < 23; ++y)
			for (int x = 0; x < 17; ++x)
			{
				state = state * 1103515245u + 12345u;
				const int label = (state >> 16) % 40;
				if (label > 4)
					continue;
				image->at(x, y, z) = static_cast<unsigned char>(label);
				if (label == 0)
					continue;
				auto [it, inserted] = expected.try_emplace(label, LabelStatistics::Bounds{{x, y, z}, {x, y, z}});
				it->second.min = it->second.min.cwiseMin(Eigen::Vector3i(x, y, z));
				it->second.max = it->second.max.cwiseMax(Eigen::Vector3i(x, y, z));
			}
	const auto bounds = LabelStatistics::computeBounds(*image);
	ASSERT_EQ(labelsOf(bounds), labelsOf(expected));
	for (const auto& [label, b] : expected)
	{
		EXPECT_EQ(bounds.at(label).min, b.min) << label;
		EXPECT_EQ(bounds.at(label).max, b.max) << label;
	}
}
