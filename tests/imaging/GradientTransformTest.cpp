#include "host/core/Log.h"
#include "src/imaging/GradientTransform.h"
#include "tests/imaging/ImagingTestUtils.h"
#include "tests/common/FixedThreadCount.h"

#include <gtest/gtest.h>

#include <omp.h>

#include <cstring>
#include <optional>
#include <vector>

using namespace Quorvale;
using namespace Quorvale::ImagingTest;
using ImageMath::ArrayImage;
using ImageMath::GradientTransform;
using ImageMath::TypedArray;

namespace
{
	/// M·g of one pixel computed directly from a copy of the image: the sum in the tree's order,
	/// mapped to storage and stored.
	template <typename T>
	T expectedElement(const TypedImage<T>& before, const Eigen::Matrix3d& m, int x, int y, int z, int c)
	{
		const ImageDescriptor& d = before.descriptor();
		double g[3];
		for (int k = 0; k < 3; ++k)
			g[k] = d.storageToOriginal(asDouble(before.at(x, y, z, k)));
		const double value = (m(c, 0) * g[0] + m(c, 1) * g[1]) + m(c, 2) * g[2];
		return stored<T>(d.originalToStorage(value));
	}

	template <typename T>
	std::unique_ptr<TypedImage<T>> copyOf(SharedImage& image)
	{
		return typed<T>(image).clone();
	}

	/// Evaluates M·g in place on `image` through the image operands.
	void transformInPlace(SharedImage& image, const Eigen::Matrix3d& m)
	{
		ArrayImage target = arrayOf(image);
		ImageMath::evaluateGradientTransform(target, ImageMath::makeGradientTransform(arrayOf(image), m));
	}

	Eigen::Matrix3d permutation()
	{
		// out0 = g2, out1 = g0, out2 = g1
		Eigen::Matrix3d m;
		m << 0, 0, 1, 1, 0, 0, 0, 1, 0;
		return m;
	}
}

template <typename T>
class GradientTransformTest : public ::testing::Test
{
};
TYPED_TEST_SUITE(GradientTransformTest, ElementTypes, );

TYPED_TEST(GradientTransformTest, InPlaceIdentityAndPermutation)
{
	using T = TypeParam;
	for (const Eigen::Vector3i& size : {Eigen::Vector3i(1, 1, 1), Eigen::Vector3i(3, 5, 7), Eigen::Vector3i(4, 3, 9)})
	{
		auto image = makeImage<T>(size, 3);
		fillRandom(typed<T>(*image), 21);
		const auto before = copyOf<T>(*image);

		ChangeCounter changes(*image);
		transformInPlace(*image, Eigen::Matrix3d::Identity());
		EXPECT_EQ(changes.count, 1);
		EXPECT_EQ(std::memcmp(typed<T>(*image).pointer(), before->pointer(), before->byteSize()), 0);

		// Without the per-pixel cache, channels 1 and 2 would read the already written channel 0.
		transformInPlace(*image, permutation());
		const TypedImage<T>& after = typed<T>(*image);
		for (int z = 0; z < size.z(); ++z)
			for (int y = 0; y < size.y(); ++y)
				for (int x = 0; x < size.x(); ++x)
				{
					ASSERT_EQ(after.at(x, y, z, 0), before->at(x, y, z, 2));
					ASSERT_EQ(after.at(x, y, z, 1), before->at(x, y, z, 0));
					ASSERT_EQ(after.at(x, y, z, 2), before->at(x, y, z, 1));
				}
	}
}

TYPED_TEST(GradientTransformTest, MatchesTheReferenceLoopAtBoundarySizes)
{
	using T = TypeParam;
	Eigen::Matrix3d m;
	m << 0.5, -0.25, 1.0, 0.125, 1.5, -0.75, -1.0, 0.25, 0.5;
	for (const Eigen::Vector3i& size : {Eigen::Vector3i(1, 1, 1), Eigen::Vector3i(3, 5, 7), Eigen::Vector3i(2, 3, 8),
	                                    Eigen::Vector3i(2, 3, 9), Eigen::Vector3i(1, 1, 17)})
	{
		auto image = makeImage<T>(size, 3);
		fillRandom(typed<T>(*image), 5);
		image->mem()->setStorageMapping(0.5, 2.0);
		const auto before = copyOf<T>(*image);
		transformInPlace(*image, m);
		for (int z = 0; z < size.z(); ++z)
			for (int y = 0; y < size.y(); ++y)
				for (int x = 0; x < size.x(); ++x)
					for (int c = 0; c < 3; ++c)
						ASSERT_EQ(typed<T>(*image).at(x, y, z, c), expectedElement(*before, m, x, y, z, c))
						    << "size " << size.transpose() << " at " << x << "," << y << "," << z << "," << c;
	}
}

TYPED_TEST(GradientTransformTest, EightAndNineSlicesGiveTheSameValues)
{
	using T = TypeParam;
	Eigen::Matrix3d m;
	m << 0.3, 0.6, -0.1, 1.1, 0.0, 0.7, -0.4, 0.2, 0.9;
	auto eight = makeImage<T>({6, 5, 8}, 3), nine = makeImage<T>({6, 5, 9}, 3);
	fillRandom(typed<T>(*nine), 9);
	std::memcpy(typed<T>(*eight).pointer(), typed<T>(*nine).pointer(), eight->mem()->byteSize());
	transformInPlace(*eight, m);
	transformInPlace(*nine, m);
	EXPECT_EQ(std::memcmp(typed<T>(*eight).pointer(), typed<T>(*nine).pointer(), eight->mem()->byteSize()), 0);
}

TYPED_TEST(GradientTransformTest, RoundsHalvesAwayFromZeroAndStoresNonFiniteDefined)
{
	using T = TypeParam;
	auto image = makeImage<T>({2, 1, 1}, 3);
	TypedImage<T>& values = typed<T>(*image);
	const double second = std::is_signed_v<T> ? -5.0 : 7.0;
	for (int c = 0; c < 3; ++c)
	{
		values.at(0, 0, 0, c) = static_cast<T>(5);
		values.at(1, 0, 0, c) = static_cast<T>(second);
	}
	transformInPlace(*image, 0.5 * Eigen::Matrix3d::Identity());
	if constexpr (std::is_floating_point_v<T>)
		EXPECT_EQ(values.at(0, 0, 0, 1), static_cast<T>(2.5));
	else
	{
		EXPECT_EQ(values.at(0, 0, 0, 1), static_cast<T>(3));
		EXPECT_EQ(values.at(1, 0, 0, 2), static_cast<T>(std::is_signed_v<T> ? -3 : 4));
	}

	if constexpr (std::is_integral_v<T>)
	{
		Eigen::Matrix3d m = Eigen::Matrix3d::Identity();
		m(0, 0) = std::nan("");
		m(1, 1) = 1e300;
		m(2, 2) = -std::numeric_limits<double>::infinity();
		transformInPlace(*image, m);
		EXPECT_EQ(values.at(0, 0, 0, 0), T(0));
		EXPECT_EQ(values.at(0, 0, 0, 1), static_cast<T>(~std::uint64_t(0)));
		EXPECT_EQ(values.at(0, 0, 0, 2), T(0));
	}
}

TYPED_TEST(GradientTransformTest, TypedCopyHasFreshCachesAndKeepsTheTree)
{
	using T = TypeParam;
	auto image = makeImage<T>({1, 1, 1}, 3);
	const auto source = ImageMath::makeGradientTransform(arrayOf(*image), permutation());
	const auto copy = ImageMath::internal::toTypedExpression<T>(source);
	ASSERT_TRUE(copy.has_value());
	EXPECT_EQ(copy->strategy(), ImageMath::GpuFirst);
	const auto& term2 = copy->expression().right();
	EXPECT_EQ(term2.left().value(), permutation().col(2));
	EXPECT_EQ(term2.right().inner().channels(), std::vector<std::uint64_t>{2});
	EXPECT_EQ(term2.right().count(), 3);
	EXPECT_EQ(term2.right().threadCache()[0].key, term2.right().noKey);
	EXPECT_EQ(&term2.right().inner().operand().image(), image->mem());

	// Another element type does not fit the image's memory.
	if constexpr (std::is_same_v<T, double>)
		EXPECT_FALSE(ImageMath::internal::toTypedExpression<float>(source).has_value());
	else
		EXPECT_FALSE(ImageMath::internal::toTypedExpression<double>(source).has_value());

	// The same typed tree evaluated twice does not reuse the first pass's cached pixel.
	TypedImage<T>& values = typed<T>(*image);
	for (int c = 0; c < 3; ++c)
		values.at(0, 0, 0, c) = static_cast<T>(c + 1);
	auto target = TypedArray<T>::fromShared(arrayOf(*image));
	ImageMath::internal::assignCpu<T>(*target, *copy);
	ImageMath::internal::assignCpu<T>(*target, *copy);
	EXPECT_EQ(values.at(0, 0, 0, 0), static_cast<T>(2));
	EXPECT_EQ(values.at(0, 0, 0, 1), static_cast<T>(3));
	EXPECT_EQ(values.at(0, 0, 0, 2), static_cast<T>(1));
}

TEST(GradientTransformCasesTest, DeviceLevelsOfTheTree)
{
	auto floats = makeImage<float>({2, 2, 2}, 3);
	const auto tree = ImageMath::makeGradientTransform(arrayOf(*floats), Eigen::Matrix3d::Identity());
	const auto& term0 = tree.expression().left().left();
	EXPECT_EQ(term0.left().deviceSupport(), ImageMath::GpuIfResident);
	EXPECT_EQ(term0.right().inner().deviceSupport(), ImageMath::GpuIfResident);
	EXPECT_EQ(term0.right().deviceSupport(), ImageMath::GpuIfResident);
	EXPECT_EQ(tree.expression().deviceSupport(), ImageMath::GpuIfResident);
	EXPECT_EQ(tree.deviceSupport(), ImageMath::GpuFirst);
	EXPECT_EQ(tree.imageCount(), 1);
	EXPECT_EQ(tree.imgDesc().pixelType(), ImageDescriptor::Double);
	EXPECT_EQ(tree.imgDesc().channels(), 3);
	EXPECT_EQ(tree.imgDesc().dimensions(), Eigen::Vector3i(2, 2, 2));

	auto doubles = makeImage<double>({2, 2, 2}, 3);
	EXPECT_EQ(ImageMath::makeGradientTransform(arrayOf(*doubles), Eigen::Matrix3d::Identity()).deviceSupport(), ImageMath::CpuOnly);
}

TEST(GradientTransformCasesTest, HalfFloatUsesTheFloatKernel)
{
	auto image = std::make_unique<SharedImage>(MemImage::create(ImageDescriptor(ImageDescriptor::HalfFloat, {2, 1, 1}, 3)));
	TypedImage<float>& values = typed<float>(*image);
	for (int c = 0; c < 3; ++c)
		values.at(1, 0, 0, c) = static_cast<float>(c + 1);
	transformInPlace(*image, permutation());
	EXPECT_EQ(values.at(1, 0, 0, 0), 3.0f);
	EXPECT_EQ(values.at(1, 0, 0, 1), 1.0f);
	EXPECT_EQ(values.at(1, 0, 0, 2), 2.0f);
}

TEST(GradientTransformCasesTest, CodesWithoutKernelAreOnlyMarkedChanged)
{
	for (int type : {ImageDescriptor::Bytes2, ImageDescriptor::Bytes3, ImageDescriptor::Bytes4})
	{
		auto image = std::make_unique<SharedImage>(MemImage::create(ImageDescriptor(type, {2, 2, 2}, 3)));
		std::memset(image->mem()->data(), 0x5C, image->mem()->byteSize());
		ChangeCounter changes(*image);
		transformInPlace(*image, permutation());
		EXPECT_EQ(changes.count, 1);
		const auto* bytes = static_cast<const unsigned char*>(image->mem()->data());
		for (std::size_t i = 0; i < image->mem()->byteSize(); ++i)
			ASSERT_EQ(bytes[i], 0x5C);
	}
}

TEST(GradientTransformCasesTest, TreesThatDoNotFitTheTargetAreRefused)
{
	auto threeChannels = makeImage<float>({2, 2, 2}, 3);
	auto oneChannel = makeImage<float>({2, 2, 2}, 1);
	auto otherType = makeImage<double>({2, 2, 2}, 3);
	auto otherSize = makeImage<float>({2, 2, 3}, 3);
	typed<float>(*threeChannels).fill(1.0f);
	typed<float>(*oneChannel).fill(1.0f);

	struct Case
	{
		SharedImage* target;
		SharedImage* operand;
		std::string reason;
	};
	const std::vector<Case> cases = {
	    {oneChannel.get(), oneChannel.get(), "the target has 1 channel(s) instead of 3"},
	    {threeChannels.get(), otherType.get(), "an operand image differs from the target in element type"},
	    {threeChannels.get(), otherSize.get(), "the image of term 0 differs from the target in extents"},
	};
	for (const Case& c : cases)
	{
		Log::ScopedCapture log;
		ChangeCounter changes(*c.target);
		const auto before = c.target->mem()->clone();
		ArrayImage target = arrayOf(*c.target);
		ImageMath::evaluateGradientTransform(target, ImageMath::makeGradientTransform(arrayOf(*c.operand), permutation()));
		EXPECT_EQ(log->messages(Log::Error), std::vector<std::string>{"Cannot evaluate the gradient transform: " + c.reason});
		EXPECT_EQ(changes.count, 0);
		EXPECT_EQ(std::memcmp(c.target->mem()->data(), before->data(), before->byteSize()), 0);
	}

	// A term selecting a channel its image lacks.
	auto tree = ImageMath::makeGradientTransform(arrayOf(*threeChannels), permutation());
	ImageMath::GradientTerm<ArrayImage> bad(tree.expression().right().left(), {{arrayOf(*threeChannels), {3}}, 3},
	                                        ImageMath::ImgOps::mult{});
	const ImageMath::GradientSum<ArrayImage> sum(tree.expression().left(), bad, ImageMath::ImgOps::add{});
	Log::ScopedCapture log;
	ArrayImage target = arrayOf(*threeChannels);
	ImageMath::evaluateGradientTransform(target, GradientTransform<ArrayImage>(sum, ImageMath::GpuFirst));
	EXPECT_EQ(log->messages(Log::Error),
	          std::vector<std::string>{"Cannot evaluate the gradient transform: term 2 selects a channel its image does not have"});
}

TEST(GradientTransformCasesTest, MoreThreadsThanCacheEntriesAreNotUsed)
{
	auto image = makeImage<float>({3, 3, 12}, 3);
	fillRandom(typed<float>(*image), 1);
	const auto before = copyOf<float>(*image);
	std::optional<ImageMath::GradientTransform<TypedArray<float>>> typedTree;
	{
		const Testing::FixedThreadCount fixed(2);
		typedTree = ImageMath::internal::toTypedExpression<float>(ImageMath::makeGradientTransform(arrayOf(*image), permutation()));
	}
	ASSERT_TRUE(typedTree.has_value());
	EXPECT_EQ(typedTree->expression().right().right().threadCache().size(), 2u);
	{
		const Testing::FixedThreadCount fixed(std::max(omp_get_max_threads(), 8));
		auto target = TypedArray<float>::fromShared(arrayOf(*image));
		ImageMath::internal::assignCpu<float>(*target, *typedTree);
	}
	for (int z = 0; z < 12; ++z)
		ASSERT_EQ(typed<float>(*image).at(2, 1, z, 1), before->at(2, 1, z, 0));
}
