#include "host/lib/GlColormap.h"

#include "host/lib/TypedImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

using namespace Quorvale;
using Preset = GlColormap::Preset;

TEST(GlColormapTest, PresetsHoldTheirReferenceEnds)
{
	struct Case
	{
		Preset preset;
		Eigen::Vector4f first, last;
	};
	for (const Case& c : {Case{Preset::Grayscale, {0, 0, 0, 1}, {1, 1, 1, 1}}, Case{Preset::Jet, {0, 0, 0.5f, 1}, {0.5f, 0, 0, 1}},
	                      Case{Preset::Viridis, {0.267004f, 0.004874f, 0.329415f, 1}, {0.993248f, 0.906157f, 0.143936f, 1}}})
	{
		const GlColormap map(c.preset, 256);
		EXPECT_TRUE(map.color(0.0).isApprox(c.first, 1e-5f)) << static_cast<int>(c.preset);
		EXPECT_TRUE(map.color(1.0).isApprox(c.last, 1e-5f)) << static_cast<int>(c.preset);
	}
}

TEST(GlColormapTest, ResampledTablesInterpolateAndClamp)
{
	const GlColormap grey(Preset::Grayscale, 3);
	ASSERT_EQ(grey.count(), 3);
	EXPECT_NEAR(grey.color(0.5)[0], 0.5f, 1e-6f);
	EXPECT_EQ(grey.color(-1.0), grey.color(0.0));
	EXPECT_EQ(grey.color(std::nan("")), grey.color(0.0));
	EXPECT_EQ(grey.color(7.0), grey.color(1.0));

	auto image = TypedImage<float>::create(Eigen::Vector3i(3, 1, 1), 4);
	grey.download(*image);
	EXPECT_FLOAT_EQ(image->at(2, 0, 0, 1), 1.0f);
	auto wrong = TypedImage<float>::create(Eigen::Vector3i(4, 1, 1), 4);
	EXPECT_THROW(grey.download(*wrong), std::invalid_argument);
}
