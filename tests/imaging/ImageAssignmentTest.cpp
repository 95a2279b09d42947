#include "host/core/Log.h"
#include "host/lib/SharedImageSet.h"
#include "src/imaging/ImageAssignment.h"
#include "tests/imaging/ImagingTestUtils.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

using namespace Quorvale;
using namespace Quorvale::ImagingTest;
using ImageMath::ArrayImage;
using ImageMath::ArraySet;
using ImageMath::internal::ArrayGl;

namespace
{
	ArraySet setArray(SharedImageSet& set, bool raw = false) { return ArraySet(set, raw, ArrayGl::nearestFilter, ArrayGl::clampToEdge); }

	/// Reference of the assignment kernel for one element.
	template <typename T>
	T expectedElement(T source, const ImageDescriptor& from, bool sourceRaw, const ImageDescriptor& to, bool destinationRaw)
	{
		double value = asDouble(source);
		if (!sourceRaw)
			value = value * from.slope() + from.intercept();
		if (!destinationRaw)
			value = (value - to.intercept()) / to.slope();
		return stored<T>(value);
	}

	/// Adds `count` float images of 2^3 voxels to `set`; with `numbered`, image i holds i + 1 everywhere, else 0.
	void addNumberedImages(SharedImageSet& set, int count, bool numbered = true)
	{
		for (int i = 0; i < count; ++i)
		{
			SharedImage* image = set.add(makeImage<float>({2, 2, 2}, 1));
			if (numbered)
				typed<float>(*image).fill(static_cast<float>(i + 1));
		}
	}
}

template <typename T>
class ImageAssignmentTest : public ::testing::Test
{
};
TYPED_TEST_SUITE(ImageAssignmentTest, ElementTypes, );

TYPED_TEST(ImageAssignmentTest, MapsStorageToOriginalAndBackAtBoundarySizes)
{
	using T = TypeParam;
	for (const Eigen::Vector3i& size :
	     {Eigen::Vector3i(1, 1, 1), Eigen::Vector3i(3, 5, 7), Eigen::Vector3i(4, 3, 8), Eigen::Vector3i(4, 3, 9)})
		for (int channels : {1, 3})
			for (int rawFlags = 0; rawFlags < 4; ++rawFlags)
			{
				const bool sourceRaw = rawFlags & 1, destinationRaw = rawFlags & 2;
				auto source = makeImage<T>(size, channels);
				auto destination = makeImage<T>(size, channels);
				fillRandom(typed<T>(*source), 11u + static_cast<unsigned>(size.z()));
				source->mem()->setStorageMapping(0.5, 3.0);
				destination->mem()->setStorageMapping(2.0, -1.0);

				ArrayImage to(*destination, destinationRaw, ArrayGl::nearestFilter, ArrayGl::clampToEdge);
				const ArrayImage from(*source, sourceRaw, ArrayGl::nearestFilter, ArrayGl::clampToEdge);
				ChangeCounter changes(*destination);
				EXPECT_EQ(&ImageMath::assign(to, from), &to);
				EXPECT_EQ(changes.count, 1);

				const TypedImage<T>& in = typed<T>(*source);
				const TypedImage<T>& out = typed<T>(*destination);
				for (int z = 0; z < size.z(); ++z)
					for (int y = 0; y < size.y(); ++y)
						for (int x = 0; x < size.x(); ++x)
							for (int c = 0; c < channels; ++c)
								ASSERT_EQ(out.at(x, y, z, c),
								          expectedElement(in.at(x, y, z, c), in.descriptor(), sourceRaw, out.descriptor(), destinationRaw))
								    << "size " << size.transpose() << ", channel " << c << ", raw flags " << rawFlags;
			}
}

TYPED_TEST(ImageAssignmentTest, EightAndNineSlicesGiveTheSameValues)
{
	using T = TypeParam;
	auto eight = makeImage<T>({5, 4, 8}, 2), nine = makeImage<T>({5, 4, 9}, 2);
	fillRandom(typed<T>(*nine), 3);
	std::memcpy(typed<T>(*eight).pointer(), typed<T>(*nine).pointer(), eight->mem()->byteSize());
	auto eightOut = makeImage<T>({5, 4, 8}, 2), nineOut = makeImage<T>({5, 4, 9}, 2);
	for (auto* image : {eight.get(), nine.get()})
		image->mem()->setStorageMapping(0.25, -7.0);
	ArrayImage eightTo = arrayOf(*eightOut), nineTo = arrayOf(*nineOut);
	ImageMath::assign(eightTo, arrayOf(*eight));
	ImageMath::assign(nineTo, arrayOf(*nine));
	EXPECT_EQ(std::memcmp(typed<T>(*eightOut).pointer(), typed<T>(*nineOut).pointer(), eightOut->mem()->byteSize()), 0);
}

TYPED_TEST(ImageAssignmentTest, LayoutsWithoutElementsWriteNothing)
{
	using T = TypeParam;
	T sentinel[1] = {static_cast<T>(7)};
	for (const ImageDescriptor& empty :
	     {ImageDescriptor(PixelTypeOf<T>::value, {0, 4, 4}, 1), ImageDescriptor(PixelTypeOf<T>::value, {4, 4, 0}, 1),
	      ImageDescriptor(PixelTypeOf<T>::value, {4, 4, 4}, 0)})
	{
		ImageMath::internal::assignElements<T>(sentinel, empty, false, nullptr, empty, false);
		EXPECT_EQ(sentinel[0], static_cast<T>(7));
	}
}

TYPED_TEST(ImageAssignmentTest, RoundsHalvesAwayFromZero)
{
	using T = TypeParam;
	auto source = makeImage<T>({4, 1, 1}, 1), destination = makeImage<T>({4, 1, 1}, 1);
	TypedImage<T>& in = typed<T>(*source);
	// Original value = stored / 2, minus 5 for the unsigned types so that negative halves occur.
	const double shift = std::is_signed_v<T> ? 0.0 : -5.0;
	source->mem()->setStorageMapping(0.5, shift);
	const double stored[4] = {5, 3, std::is_signed_v<T> ? -5.0 : 15.0, std::is_signed_v<T> ? -3.0 : 13.0};
	for (int x = 0; x < 4; ++x)
		in.at(x, 0) = static_cast<T>(stored[x]);
	ArrayImage to = arrayOf(*destination);
	ImageMath::assign(to, arrayOf(*source));

	const TypedImage<T>& out = typed<T>(*destination);
	if constexpr (std::is_floating_point_v<T>)
	{
		EXPECT_EQ(out.at(0, 0), static_cast<T>(2.5 + shift));
		EXPECT_EQ(out.at(2, 0), static_cast<T>(stored[2] / 2 + shift));
	}
	else if constexpr (std::is_signed_v<T>)
	{
		EXPECT_EQ(out.at(0, 0), static_cast<T>(3));  // 2.5
		EXPECT_EQ(out.at(1, 0), static_cast<T>(2));  // 1.5
		EXPECT_EQ(out.at(2, 0), static_cast<T>(-3)); // -2.5
		EXPECT_EQ(out.at(3, 0), static_cast<T>(-2)); // -1.5
	}
	else
	{
		EXPECT_EQ(out.at(0, 0), static_cast<T>(-3)); // -2.5 wraps
		EXPECT_EQ(out.at(1, 0), static_cast<T>(-4)); // -3.5 wraps
		EXPECT_EQ(out.at(2, 0), static_cast<T>(3));  // 2.5
		EXPECT_EQ(out.at(3, 0), static_cast<T>(2));  // 1.5
	}
}

TYPED_TEST(ImageAssignmentTest, NonFiniteAndHugeValuesStoreDefinedIntegers)
{
	using T = TypeParam;
	using ImageMath::internal::fromDouble;
	const double inf = std::numeric_limits<double>::infinity();
	if constexpr (std::is_floating_point_v<T>)
	{
		EXPECT_TRUE(std::isnan(fromDouble<T>(std::nan(""))));
		EXPECT_EQ(fromDouble<T>(-inf), -std::numeric_limits<T>::infinity());
	}
	else
	{
		const T allOnes = static_cast<T>(~std::uint64_t(0));
		EXPECT_EQ(fromDouble<T>(std::nan("")), T(0));
		EXPECT_EQ(fromDouble<T>(inf), allOnes);
		EXPECT_EQ(fromDouble<T>(1e300), allOnes);
		EXPECT_EQ(fromDouble<T>(-inf), T(0));
		EXPECT_EQ(fromDouble<T>(-1e300), T(0));
		// Within the 64-bit range the low-order bytes are kept.
		EXPECT_EQ(fromDouble<T>(4294967296.0 * 256.0 + 7.4), T(7));
		EXPECT_EQ(fromDouble<T>(-1.0), allOnes);

		// A destination mapping that blows values up goes through the same clamp.
		auto source = makeImage<T>({3, 1, 1}, 1), destination = makeImage<T>({3, 1, 1}, 1);
		typed<T>(*source).at(1, 0) = T(1);
		destination->mem()->setStorageMapping(1e-300, 0.0);
		ArrayImage to = arrayOf(*destination);
		ImageMath::assign(to, arrayOf(*source));
		EXPECT_EQ(typed<T>(*destination).at(0, 0), T(0));
		EXPECT_EQ(typed<T>(*destination).at(1, 0), allOnes);
	}
}

TYPED_TEST(ImageAssignmentTest, OneImageSetIsBroadcastToTheSelectedImages)
{
	using T = TypeParam;
	SharedImageSet source, destination;
	source.add(makeImage<T>({3, 3, 10}, 3));
	fillRandom(typed<T>(*source.get(0)), 5);
	std::vector<std::unique_ptr<ChangeCounter>> counters;
	std::vector<std::thread::id> signalThreads;
	for (int i = 0; i < 4; ++i)
	{
		SharedImage* image = destination.add(makeImage<T>({3, 3, 10}, 3));
		counters.push_back(std::make_unique<ChangeCounter>(*image));
		image->signalDataChanged.connect([&] { signalThreads.push_back(std::this_thread::get_id()); });
	}
	destination.setSelection(Selection({0, 2, 3}));
	ArraySet to = setArray(destination);
	EXPECT_EQ(&ImageMath::assign(to, setArray(source)), &to);

	const std::size_t bytes = source.mem(0)->byteSize();
	for (int i : {0, 2, 3})
	{
		EXPECT_EQ(std::memcmp(destination.mem(i)->data(), source.mem(0)->data(), bytes), 0) << i;
		EXPECT_EQ(counters[static_cast<std::size_t>(i)]->count, 1);
	}
	EXPECT_EQ(counters[1]->count, 0);
	const std::vector<T> zeros(bytes / sizeof(T), T(0));
	EXPECT_EQ(std::memcmp(destination.mem(1)->data(), zeros.data(), bytes), 0);
	// Marked on the calling thread, not on a worker.
	ASSERT_EQ(signalThreads.size(), 3u);
	for (const std::thread::id& id : signalThreads)
		EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(ImageSetAssignmentTest, LargerSourceSetIsReadImageByImage)
{
	SharedImageSet source, destination;
	addNumberedImages(source, 3);
	addNumberedImages(destination, 2, false);
	ArraySet to = setArray(destination);
	ImageMath::assign(to, setArray(source));
	EXPECT_EQ(typed<float>(*destination.get(0)).at(1, 1, 1), 1.0f);
	EXPECT_EQ(typed<float>(*destination.get(1)).at(1, 1, 1), 2.0f);
}

TEST(ImageSetAssignmentTest, SourceImagesAreNeededForTheSelectedImagesOnly)
{
	SharedImageSet source, destination;
	addNumberedImages(source, 2);
	addNumberedImages(destination, 3, false);
	destination.setSelection(Selection({0, 1}));
	ArraySet to = setArray(destination);
	Log::ScopedCapture log;
	ImageMath::assign(to, setArray(source));
	EXPECT_TRUE(log->messages(Log::Error).empty());
	EXPECT_EQ(typed<float>(*destination.get(0)).at(1, 1, 1), 1.0f);
	EXPECT_EQ(typed<float>(*destination.get(1)).at(1, 1, 1), 2.0f);
	EXPECT_EQ(typed<float>(*destination.get(2)).at(1, 1, 1), 0.0f);
}

TEST(ImageSetAssignmentTest, SourcesThatWouldBeReadPastAreRefused)
{
	const auto filledSet = [](int count, float value, const Eigen::Vector3i& size = {2, 2, 2}, int type = ImageDescriptor::Float)
	{
		auto set = std::make_unique<SharedImageSet>();
		for (int i = 0; i < count; ++i)
		{
			SharedImage* image = set->add(std::make_unique<SharedImage>(MemImage::create(ImageDescriptor(type, size, 1))));
			if (auto* floats = dynamic_cast<TypedImage<float>*>(image->mem()))
				floats->fill(value);
		}
		return set;
	};
	const auto untouched = [](const SharedImageSet& set)
	{
		for (int i = 0; i < set.size(); ++i)
			if (typed<float>(*set.get(i)).at(0, 0, 0) != 0.0f)
				return false;
		return true;
	};

	auto destination = filledSet(3, 0.0f);
	int changes = 0;
	for (int i = 0; i < 3; ++i)
		destination->get(i)->signalDataChanged.connect([&] { ++changes; });
	ArraySet to = setArray(*destination);

	struct Case
	{
		std::unique_ptr<SharedImageSet> source;
		std::string message;
	};
	std::vector<Case> cases;
	cases.push_back({filledSet(2, 1.0f), "Cannot assign a set of 2 images to a set of 3"});
	cases.push_back({filledSet(0, 1.0f), "Cannot assign an empty image set"});
	cases.push_back({filledSet(3, 1.0f, {2, 2, 3}), "Cannot assign image 0 of the set"});
	cases.push_back({filledSet(1, 1.0f, {2, 2, 2}, ImageDescriptor::Double), "Cannot assign image 0 of the set"});
	// One bad image among good ones: nothing at all is written.
	auto mixed = filledSet(2, 1.0f);
	mixed->add(std::make_unique<SharedImage>(TypedImage<float>::create({2, 2, 2}, 2)));
	cases.push_back({std::move(mixed), "Cannot assign image 2 of the set"});

	for (Case& c : cases)
	{
		Log::ScopedCapture log;
		ImageMath::assign(to, setArray(*c.source));
		const std::vector<std::string> errors = log->messages(Log::Error);
		ASSERT_EQ(errors.size(), 1u) << c.message;
		EXPECT_EQ(errors[0].rfind(c.message, 0), 0u) << errors[0];
		EXPECT_TRUE(untouched(*destination)) << c.message;
	}
	EXPECT_EQ(changes, 0);

	// The image assignment refuses the same way.
	auto small = makeImage<float>({2, 2, 2}, 1), large = makeImage<float>({3, 2, 2}, 1);
	typed<float>(*large).fill(1.0f);
	Log::ScopedCapture log;
	ArrayImage smallTo = arrayOf(*small);
	ImageMath::assign(smallTo, arrayOf(*large));
	EXPECT_EQ(log->messages(Log::Error).size(), 1u);
	EXPECT_EQ(typed<float>(*small).at(1, 1, 1), 0.0f);
}

TEST(ImageSetAssignmentTest, CodesWithoutKernelAreOnlyMarkedChanged)
{
	for (int type : {ImageDescriptor::Bytes2, ImageDescriptor::Bytes3, ImageDescriptor::Bytes4})
	{
		auto destination = std::make_unique<SharedImage>(MemImage::create(ImageDescriptor(type, {3, 2, 2}, 1)));
		std::memset(destination->mem()->data(), 0xAB, destination->mem()->byteSize());
		const std::vector<unsigned char> before(static_cast<unsigned char*>(destination->mem()->data()),
		                                        static_cast<unsigned char*>(destination->mem()->data()) + destination->mem()->byteSize());
		auto source = makeImage<float>({3, 2, 2}, 1);
		typed<float>(*source).fill(5.0f);

		ChangeCounter changes(*destination);
		ArrayImage to = arrayOf(*destination);
		ImageMath::assign(to, arrayOf(*source));
		EXPECT_EQ(changes.count, 1) << type;
		EXPECT_EQ(std::memcmp(destination->mem()->data(), before.data(), before.size()), 0) << type;

		SharedImageSet set(std::move(destination));
		ArraySet setTo = setArray(set);
		SharedImageSet sources(std::move(source));
		ImageMath::assign(setTo, setArray(sources));
		EXPECT_EQ(changes.count, 2) << type;
		EXPECT_EQ(std::memcmp(set.mem(0)->data(), before.data(), before.size()), 0) << type;
	}
}

TEST(ImageSetAssignmentTest, HalfFloatIsComputedAsFloatAndGpuRequestsFallBackToTheCpu)
{
	auto half = std::make_unique<SharedImage>(MemImage::create(ImageDescriptor(ImageDescriptor::HalfFloat, {2, 2, 2}, 1)));
	auto source = makeImage<float>({2, 2, 2}, 1);
	typed<float>(*source).fill(1.5f);
	ArrayImage to = arrayOf(*half);
	ImageMath::assign(to, arrayOf(*source));
	EXPECT_EQ(typed<float>(*half).at(1, 1, 1), 1.5f);

	SharedImageSet empty;
	EXPECT_EQ(setArray(empty).deviceStrategy(), ImageMath::CpuOnly);
	EXPECT_EQ(setArray(empty).imageCount(), 0);

	// A source that asks for the GPU takes the direct path, which falls back to the CPU here.
	SharedImageSet destinations(std::move(half));
	SharedImageSet sources(std::move(source));
	typed<float>(*sources.get(0)).fill(2.5f);
	ArraySet setTo = setArray(destinations);
	ArraySet setFrom = setArray(sources);
	setFrom.setDeviceStrategy(ImageMath::GpuFirst);
	ImageMath::assign(setTo, setFrom);
	EXPECT_EQ(typed<float>(*destinations.get(0)).at(0, 0, 0), 2.5f);
}
