#include "host/lib/GlGradient.h"

#include "host/lib/SharedImage.h"
#include "host/lib/TypedImage.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Quorvale;

namespace
{
	std::unique_ptr<SharedImage> gradientImageFor(const SharedImage& input)
	{
		return std::make_unique<SharedImage>(TypedImage<float>::create(
		    ImageDescriptor(ImageDescriptor::Float, input.descriptor().dimensions(), 3, input.descriptor().spacing())));
	}
}

TEST(GlGradientTest, CentralDifferencesInPixelUnitsWithClampedEdges)
{
	// v = x^2 + 3y - 2z on a 4x3x3 grid with spacing that must not matter.
	auto mem = TypedImage<short>::create(ImageDescriptor(ImageDescriptor::Short, {4, 3, 3}, 1, {0.5, 2.0, 3.0}));
	for (int z = 0; z < 3; ++z)
		for (int y = 0; y < 3; ++y)
			for (int x = 0; x < 4; ++x)
				mem->at(x, y, z) = static_cast<short>(x * x + 3 * y - 2 * z);
	SharedImage input(std::move(mem));
	auto output = gradientImageFor(input);
	GlGradient().compute(input, *output);
	const auto& g = dynamic_cast<const TypedImage<float>&>(*output->mem());

	// Inside: (2x, 3, -2). At the edges the missing neighbour is the edge voxel itself.
	EXPECT_FLOAT_EQ(g.at(1, 1, 1, 0), 2.0f);
	EXPECT_FLOAT_EQ(g.at(2, 1, 1, 0), 4.0f);
	EXPECT_FLOAT_EQ(g.at(0, 1, 1, 0), 0.5f); // (1 - 0) / 2
	EXPECT_FLOAT_EQ(g.at(3, 1, 1, 0), 2.5f); // (9 - 4) / 2
	EXPECT_FLOAT_EQ(g.at(1, 1, 1, 1), 3.0f);
	EXPECT_FLOAT_EQ(g.at(1, 0, 1, 1), 1.5f);
	EXPECT_FLOAT_EQ(g.at(1, 1, 1, 2), -2.0f);
	EXPECT_FLOAT_EQ(g.at(1, 1, 2, 2), -1.0f);
}

TEST(GlGradientTest, UsesOriginalValuesAndGivesZeroAlongAFlatAxis)
{
	auto mem = TypedImage<unsigned char>::create({3, 1, 1});
	mem->setStorageMapping(10.0, -5.0);
	mem->at(0, 0) = 1;
	mem->at(2, 0) = 3;
	SharedImage input(std::move(mem));
	auto output = gradientImageFor(input);
	GlGradient(nullptr).compute(input, *output);
	const auto& g = dynamic_cast<const TypedImage<float>&>(*output->mem());
	EXPECT_FLOAT_EQ(g.at(1, 0, 0, 0), 10.0f); // (25 - 5) / 2
	EXPECT_FLOAT_EQ(g.at(1, 0, 0, 1), 0.0f);
	EXPECT_FLOAT_EQ(g.at(1, 0, 0, 2), 0.0f);
}

TEST(GlGradientTest, RejectsAnOutputOfAnotherLayout)
{
	SharedImage input(TypedImage<float>::create({4, 4, 2}));
	SharedImage oneChannel(TypedImage<float>::create({4, 4, 2}, 1));
	SharedImage otherSize(TypedImage<float>::create({4, 4, 3}, 3));
	SharedImage doubles(TypedImage<double>::create({4, 4, 2}, 3));
	EXPECT_THROW(GlGradient().compute(input, oneChannel), std::invalid_argument);
	EXPECT_THROW(GlGradient().compute(input, otherSize), std::invalid_argument);
	EXPECT_THROW(GlGradient().compute(input, doubles), std::invalid_argument);
}
