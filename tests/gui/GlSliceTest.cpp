#include "host/gui/GlSlice.h"

#include "host/gl/DisplayTexture.h"
#include "host/gui/GlSliceView.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "tests/gui/RenderTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

using namespace Quorvale;

TEST(GlSliceTest, LabelMapsAreColouredAndGreyImagesWindowed)
{
	std::shared_ptr<MemImage> mem = TypedImage<unsigned char>::create(Eigen::Vector3i(4, 3, 5));
	auto* typed = static_cast<TypedImage<unsigned char>*>(mem.get());
	typed->at(1, 1, 2) = 200;
	typed->at(2, 1, 2) = 100;
	SharedImageSet set(std::make_unique<SharedImage>(mem));
	GlSlice slice(2);
	slice.setImage(&set);
	EXPECT_TRUE(slice.showsVolume());
	EXPECT_EQ(slice.index(), 2);
	const auto* rgba = static_cast<const std::uint8_t*>(slice.sliceImage()->data());
	const auto pixel = [&](int x, int y) { return rgba + (y * 4 + x) * 4; };
	EXPECT_EQ(pixel(1, 1)[0], 255);
	EXPECT_EQ(pixel(2, 1)[1], 128);
	EXPECT_EQ(pixel(0, 0)[2], 0);

	set.setModality(Data::LabelMap);
	slice.setImage(&set);
	rgba = static_cast<const std::uint8_t*>(slice.sliceImage()->data());
	EXPECT_EQ(pixel(0, 0)[0] + pixel(0, 0)[1] + pixel(0, 0)[2], 0);
	EXPECT_NE(std::vector<int>(pixel(1, 1), pixel(1, 1) + 3), std::vector<int>(pixel(2, 1), pixel(2, 1) + 3));
}

TEST(GlSliceTest, SixSlicesReadTheImageRangeOnceUntilTheImageChanges)
{
	auto set = RenderTest::image({5, 5, 5});
	SharedImage& image = *set->get();
	const auto write = [&](int at, unsigned char value) { static_cast<TypedImage<unsigned char>*>(image.mem())->at(at, at, at) = value; };
	write(2, 100);
	write(4, 200);
	// The three slice views and the three slices of the 3-D view.
	std::vector<std::unique_ptr<GlSlice>> slices;
	for (int axis : {0, 1, 2, 0, 1, 2})
	{
		slices.push_back(std::make_unique<GlSlice>(axis));
		slices.back()->setImage(set.get());
		ASSERT_NE(slices.back()->sliceImage(), nullptr);
	}
	const auto centre = [&] { return static_cast<const std::uint8_t*>(slices[2]->sliceImage()->data())[(2 * 5 + 2) * 4]; };
	EXPECT_EQ(centre(), 128);
	EXPECT_EQ(image.valueRangeReads(), 1);

	// A write through the image renews range and slice.
	write(4, 100);
	image.setDirtyMem();
	EXPECT_EQ(centre(), 255);
	for (auto& slice : slices)
		slice->sliceImage();
	EXPECT_EQ(image.valueRangeReads(), 2);
}

namespace
{
	/// The slice's RGBA bytes of a 6 x 5 slice once `slice` waits no more (with `wait`), or as they
	/// stand; empty without a slice.
	std::vector<std::uint8_t> shown(GlSlice& slice, bool wait)
	{
		const GL::DisplayTexture* texture = slice.sliceImage();
		for (int tries = 0; wait && tries < 5000 && slice.isWaiting(); ++tries)
		{
			std::this_thread::sleep_for(std::chrono::milliseconds(1));
			texture = slice.sliceImage();
		}
		const auto* data = texture ? static_cast<const std::uint8_t*>(texture->data()) : nullptr;
		return data ? std::vector<std::uint8_t>(data, data + 6 * 5 * 4) : std::vector<std::uint8_t>();
	}

	/// Grey values whose range is read through a counter.
	class CountedRangeImage : public MemImage
	{
	public:
		CountedRangeImage()
		    : MemImage(ConstructionKey{}, ImageDescriptor(ImageDescriptor::UnsignedChar, {6, 5, 4}))
		{
		}
		mutable std::atomic<int> reads{0};

	private:
		std::optional<ValueRange> storageRange() const override
		{
			++reads;
			return ValueRange{0.0, 255.0};
		}
	};
}

TEST(GlSliceTest, ASliceOfALargeVolumeIsSampledApartWhileTheLastOneStandsIn)
{
	auto set = RenderTest::image({6, 5, 4});
	set->setModality(Data::LabelMap);
	auto& typed = *static_cast<TypedImage<unsigned char>*>(set->get()->mem());
	typed.at(1, 1, 2) = 1;
	typed.at(3, 2, 3) = 2;
	// Read through the const path, which leaves the image's values version as it is.
	const MemImage& values = *std::as_const(*set->get()).mem();
	GlSlice slice(2);
	slice.setImage(set.get());
	GlSlice::setBuildApartBytes(0);
	// Nothing to show until the first slice is there; later the last one stands in.
	EXPECT_EQ(shown(slice, false), std::vector<std::uint8_t>());
	EXPECT_EQ(shown(slice, true), GlSlice::pixels(values, 2, 2, true, std::nullopt));
	slice.step(1);
	const std::vector<std::uint8_t> meanwhile = shown(slice, false);
	EXPECT_EQ(meanwhile, GlSlice::pixels(values, 2, slice.isWaiting() ? 2 : 3, true, std::nullopt));
	EXPECT_EQ(shown(slice, true), GlSlice::pixels(values, 2, 3, true, std::nullopt));

	// A view that drew without its slice says so.
	GlSliceView view(1);
	view.setImage(set.get());
	if (!view.render(32, 32).isNull())
	{
		EXPECT_FALSE(view.isComplete());
	}

	// Grey slices read the volume's range once until its values change, not once per slice.
	auto grey = std::make_shared<CountedRangeImage>();
	SharedImageSet greySet(std::make_unique<SharedImage>(grey));
	slice.setImage(&greySet);
	for (int step : {0, 1, -1})
	{
		slice.step(step);
		EXPECT_FALSE(shown(slice, true).empty());
	}
	EXPECT_EQ(grey->reads, 1);
	greySet.get()->setDirtyMem();
	shown(slice, true);
	EXPECT_EQ(grey->reads, 2);
	GlSlice::setBuildApartBytes(std::size_t(256) << 20);
}
