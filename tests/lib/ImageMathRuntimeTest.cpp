#include "host/core/ThreadPool.h"
#include "host/lib/ImageMath/Argmax.h"
#include "host/lib/ImageMath/ArrayBase.h"
#include "host/lib/ImageMath/ArrayGl.h"
#include "host/lib/ImageMath/BinaryOpTpl.h"
#include "host/lib/ImageMath/BroadcastChannelsTpl.h"
#include "host/lib/ImageMath/ChannelSwizzleViewTpl.h"
#include "host/lib/ImageMath/GlTagging.h"
#include "host/lib/ImageMath/ImgOps.h"
#include "host/lib/ImageMath/Parallel.h"
#include "host/lib/ImageMath/ReductionWrapperTpl.h"
#include "host/gl/Policy.h"
#include "host/lib/ImageMath/ShaderArguments.h"
#include "host/lib/SharedImage.h"
#include "host/lib/TypedImage.h"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

using namespace Quorvale;
using namespace Quorvale::ImageMath;
using namespace Quorvale::ImageMath::internal;

namespace
{
	/// A leaf over a shared image that counts its reads; copies share the counter.
	class CountingArray : public ArrayBase, public ArrayGl
	{
	public:
		CountingArray(SharedImage& image, int strategy, bool isVoid = true)
		    : ArrayBase(false, {})
		    , ArrayGl(nearestFilter, clampToEdge)
		    , m_image(&image)
		    , m_isVoid(isVoid)
		    , m_reads(std::make_shared<std::atomic<int>>(0))
		{
			setDeviceStrategy(strategy);
		}
		ImageDescriptor imgDesc() const override { return m_image->descriptor(); }
		int imageCount() const override { return 1; }
		bool isVoidArray() const override { return m_isVoid; }
		double value(int x, int y, int z, int c) const
		{
			++*m_reads;
			return m_image->mem()->valueAt(Eigen::Vector3d(x, y, z), c, false, 0.0);
		}
		int reads() const { return *m_reads; }

	protected:
		const void* imageKey() const override { return m_image; }
		const SharedImage* glImage() const override { return m_image; }

	private:
		SharedImage* m_image;
		bool m_isVoid;
		std::shared_ptr<std::atomic<int>> m_reads;
	};

	/// The reduction a sum over a counting array runs on the CPU: here a marker value.
	Eigen::VectorXd& runReduction(ReductionWrapperTpl<ImgOps::add, CountingArray>& reduction, Eigen::VectorXd& result,
	                              std::vector<Eigen::Vector4i>* positions)
	{
		result = Eigen::VectorXd::Constant(1, 99.0);
		return result;
	}

	/// Records the uniforms set, in order.
	struct RecordingArguments : ShaderArguments
	{
		void setArgument(const std::string& name, const Eigen::Vector3d& value) override { vectors.emplace_back(name, value); }
		void setArgument(const std::string& name, int value) override { ints.emplace_back(name, value); }
		std::vector<std::pair<std::string, Eigen::Vector3d>> vectors;
		std::vector<std::pair<std::string, int>> ints;
	};

	std::unique_ptr<SharedImage> floatImage(int channels, float value = 0.0f)
	{
		auto memory = TypedImage<float>::create(Eigen::Vector3i(2, 2, 2), channels);
		memory->fill(value);
		return std::make_unique<SharedImage>(std::move(memory));
	}

	using View = ChannelSwizzleViewTpl<CountingArray>;
	using Broadcast = BroadcastChannelsTpl<View>;
	using Sum = BinaryOpTpl<ImgOps::add, CountingArray, CountingArray>;
}

TEST(ImageMathRuntimeTest, BinaryNodesCombineLayoutsLevelsAndGlsl)
{
	auto a = floatImage(1), b = floatImage(2);
	const CountingArray left(*a, GpuIfResident), right(*b, CpuOnly);
	Sum sum(left, right, ImgOps::add{});
	EXPECT_EQ(sum.imgDesc().channels(), 2);
	EXPECT_EQ(sum.imgDesc().pixelType(), ImageDescriptor::Float);
	EXPECT_EQ(sum.imageCount(), 1);
	EXPECT_EQ(sum.deviceSupport(), CpuOnly);
	EXPECT_EQ(sum.op()(2.0, 3.5), 5.5);

	// Two images: two samplers, numbered in tree order.
	EXPECT_EQ(sum.evalString(true), "(texture(image0, texCoord)) + (texture(image1, texCoord))");
	std::string uniforms;
	sum.getUniformDefinitionList(uniforms, "");
	EXPECT_EQ(uniforms, "uniform sampler3D image0;\nuniform sampler3D image1;\n");

	// Arrays over one image share its sampler; the arguments bind it once, retagged.
	Sum twice(left, left, ImgOps::add{});
	TagMap tags;
	CounterMap counters;
	twice.tagAndAssignNames(tags, counters, "p");
	EXPECT_EQ(twice.evalString(false), "(texture(pimage0, texCoord)) + (texture(pimage0, texCoord))");
	uniforms.clear();
	twice.getUniformDefinitionList(uniforms, "p");
	EXPECT_EQ(uniforms, "uniform sampler3D pimage0;\n");
	RecordingArguments arguments;
	TextureList textures;
	EXPECT_EQ(twice.setArguments(arguments, textures, "q"), 1);
	ASSERT_EQ(arguments.ints.size(), 1u);
	EXPECT_EQ(arguments.ints[0], std::make_pair(std::string("qimage0"), 0));
	ASSERT_EQ(textures.size(), 1u);
	EXPECT_EQ(textures[0].image, a.get());
	EXPECT_EQ(textures[0].magFilter, ArrayGl::nearestFilter);
	EXPECT_EQ(textures[0].wrap, ArrayGl::clampToEdge);

	// Filter and wrap changes reach every leaf and report whether anything changed.
	EXPECT_TRUE(sum.setMagFilter(9729));
	EXPECT_FALSE(sum.setMagFilter(9729));
	EXPECT_EQ(sum.left().magFilter(), 9729u);
	EXPECT_EQ(sum.right().magFilter(), 9729u);
	EXPECT_TRUE(sum.setWrap(10497));
	EXPECT_FALSE(sum.setWrap(10497));

	ASSERT_EQ(sum.children().size(), 2u);
	EXPECT_EQ(sum.exprInterface(), static_cast<ExprInterface*>(&sum));
}

TEST(ImageMathRuntimeTest, IntegerImagesAreFetchedAndMappedImagesDeclareTheirMapping)
{
	SharedImage shorts(TypedImage<short>::create(Eigen::Vector3i(2, 2, 2), 1));
	SharedImage bytes(TypedImage<unsigned char>::create(Eigen::Vector3i(2, 2, 2), 1));
	bytes.mem()->setStorageMapping(0.5, -3.0);
	Sum sum(CountingArray(shorts, GpuFirst), CountingArray(bytes, GpuFirst), ImgOps::add{});
	EXPECT_EQ(sum.evalString(true), "(vec4(texelFetch(image0, voxel, 0))) + "
	                                "((vec4(texelFetch(image1, voxel, 0)) * image1Mapping.x + image1Mapping.y))");
	std::string uniforms;
	sum.getUniformDefinitionList(uniforms, "");
	EXPECT_EQ(uniforms, "uniform isampler3D image0;\nuniform usampler3D image1;\nuniform vec3 image1Mapping;\n");
	RecordingArguments arguments;
	TextureList textures;
	EXPECT_EQ(sum.setArguments(arguments, textures, ""), 3);
	ASSERT_EQ(arguments.vectors.size(), 1u);
	EXPECT_EQ(arguments.vectors[0], std::make_pair(std::string("image1Mapping"), Eigen::Vector3d(0.5, -3.0, 0.0)));
}

TEST(ImageMathRuntimeTest, ChannelViewsSelectRepeatAndLimitTheDevice)
{
	auto image = floatImage(3);
	auto& memory = dynamic_cast<TypedImage<float>&>(*image->mem());
	memory.at(1, 0, 1, 0) = 10.0f;
	memory.at(1, 0, 1, 2) = 30.0f;
	const CountingArray array(*image, GpuIfResident);

	View swapped(array, {2, 0});
	EXPECT_EQ(swapped.imgDesc().channels(), 2);
	EXPECT_EQ(swapped.value(1, 0, 1, 0), 30.0);
	EXPECT_EQ(swapped.value(1, 0, 1, 1), 10.0);
	EXPECT_EQ(swapped.evalString(true), "(texture(image0, texCoord)).zx");
	EXPECT_EQ(swapped.deviceSupport(), GpuIfResident);
	EXPECT_EQ(View(array, {0, 0, 0, 0, 0}).deviceSupport(), CpuOnly);
	EXPECT_THROW(View(array, {4}).evalString(true), std::out_of_range);
	EXPECT_EQ(View(CountingArray(*image, GpuFirst), {1}).deviceSupport(), GpuFirst);

	Broadcast repeated(View(array, {2}), 3);
	EXPECT_EQ(repeated.count(), 3);
	EXPECT_EQ(repeated.imgDesc().channels(), 3);
	EXPECT_EQ(repeated.evalString(true), "((texture(image0, texCoord)).z).xxx");
	EXPECT_EQ(repeated.deviceSupport(), GpuIfResident);
	EXPECT_EQ(Broadcast(View(array, {0}), 5).deviceSupport(), CpuOnly);
}

TEST(ImageMathRuntimeTest, BroadcastCacheReadsOncePerPixelAndThread)
{
	auto image = floatImage(3, 4.0f);
	const CountingArray array(*image, CpuOnly);
	Broadcast repeated(View(array, {1}), 3);
	EXPECT_EQ(repeated.threadCache().size(), static_cast<std::size_t>(maxThreadCount()));
	EXPECT_EQ(repeated.threadCache()[0].key, Broadcast::noKey);

	EXPECT_EQ(repeated.cachedValue(0, 0, 0, 0, 0), 4.0);
	EXPECT_EQ(repeated.cachedValue(0, 0, 0, 0, 0), 4.0);
	EXPECT_EQ(array.reads(), 1);
	// The cache answers for the key even after the pixel changed: that is what lets a pixel be
	// overwritten once its first channel is computed.
	dynamic_cast<TypedImage<float>&>(*image->mem()).fill(9.0f);
	EXPECT_EQ(repeated.cachedValue(0, 0, 0, 0, 0), 4.0);
	EXPECT_EQ(repeated.cachedValue(3, 1, 0, 0, 0), 9.0);
	EXPECT_EQ(array.reads(), 2);

	const Broadcast copy = repeated;
	EXPECT_EQ(copy.threadCache()[0].key, 3u);
	repeated.resetCache();
	EXPECT_EQ(repeated.threadCache()[0].key, Broadcast::noKey);
	EXPECT_EQ(repeated.cachedValue(3, 1, 0, 0, 0), 9.0);
	EXPECT_EQ(array.reads(), 3);
}

TEST(ImageMathRuntimeTest, VoidArraysAreFoundInTreeOrder)
{
	auto a = floatImage(1), b = floatImage(1);
	const CountingArray typed(*a, CpuOnly, false), untyped(*b, CpuOnly);
	BinaryOpTpl<ImgOps::add, CountingArray, Sum> tree(typed, Sum(untyped, typed, ImgOps::add{}), ImgOps::add{});
	const std::vector<const ArrayGl*> arrays = getVoidArrays(tree);
	ASSERT_EQ(arrays.size(), 1u);
	EXPECT_EQ(arrays[0], &tree.right().left());
	EXPECT_EQ(arrays[0]->exprInterface()->imgDesc(), b->descriptor());
	EXPECT_TRUE(getVoidArrays(typed).empty());
}

TEST(ImageMathRuntimeTest, UniformClaimsAndRetagging)
{
	TagMap tags;
	CounterMap counters;
	int first = 0, second = 0;
	const UniformClaim a = claimUniform(tags, counters, &first, typeid(int), "p", "value");
	const UniformClaim b = claimUniform(tags, counters, &second, typeid(int), "p", "value");
	const UniformClaim shared = claimUniform(tags, counters, &first, typeid(int), "p", "value");
	const UniformClaim other = claimUniform(tags, counters, &counters, typeid(double), "", "other");
	EXPECT_EQ(a.name, "pvalue0");
	EXPECT_TRUE(a.declares);
	EXPECT_EQ(b.name, "pvalue1");
	EXPECT_EQ(shared.name, "pvalue0");
	EXPECT_FALSE(shared.declares);
	EXPECT_EQ(other.name, "other0");

	// Only the leading prefix is replaced, even when its letters occur later in the name.
	EXPECT_EQ(retaggedName("achannelWiseScalardouble0", "a", "b"), "bchannelWiseScalardouble0");
	EXPECT_EQ(retaggedName("image0", "", "b"), "bimage0");
	EXPECT_EQ(retaggedName("xname", "a", "b"), "bxname");

	EXPECT_EQ(compactTypeName<unsigned short>(), "unsignedshort");
	EXPECT_EQ(compactTypeName<double>(), "double");
}

TEST(ImageMathRuntimeTest, DefaultDeviceStrategyKeepsUnsampleableImagesOnTheCpu)
{
	const Eigen::Vector3i size(2, 2, 2);
	EXPECT_EQ(ArrayBase::defaultDeviceStrategy(ImageDescriptor(ImageDescriptor::Float, size, 4)), GpuIfResident);
	EXPECT_EQ(ArrayBase::defaultDeviceStrategy(ImageDescriptor(ImageDescriptor::UnsignedChar, size, 1)), GpuIfResident);
	EXPECT_EQ(ArrayBase::defaultDeviceStrategy(ImageDescriptor(ImageDescriptor::Float, size, 5)), CpuOnly);
	for (int type : {ImageDescriptor::Double, ImageDescriptor::Int, ImageDescriptor::UnsignedInt})
		EXPECT_EQ(ArrayBase::defaultDeviceStrategy(ImageDescriptor(type, size, 1)), CpuOnly) << type;
}

TEST(ImageMathRuntimeTest, GpuPathsDeclineWithoutAGlContext)
{
	const GL::Policy policy = GL::policy();
	GL::setPolicy(GL::Policy::None);
	auto image = floatImage(1);
	CountingArray target(*image, GpuFirst), source(*image, GpuFirst);
	EXPECT_FALSE(target.assignGl(source));

	ReductionWrapperTpl<ImgOps::add, CountingArray> reduction(source, ImgOps::add{}, Selection({1}));
	Eigen::VectorXd result = Eigen::VectorXd::Constant(2, 3.0);
	std::vector<Eigen::Vector4i> positions;
	EXPECT_FALSE(reduction.reduceGl(result, &positions));
	EXPECT_EQ(result, Eigen::VectorXd::Constant(2, 3.0));
	EXPECT_TRUE(positions.empty());
	EXPECT_EQ(reduction.selection(), Selection({1}));
	EXPECT_EQ(&reduction.operandGl(), static_cast<const GlExprInterface*>(&reduction.operand()));
	// The CPU side is whatever the instantiating code supplies.
	ReductionWrapperBase& base = reduction;
	EXPECT_EQ(base.reduce(result), Eigen::VectorXd::Constant(1, 99.0));
	GL::setPolicy(policy);
}

TEST(ImageMathRuntimeTest, Vec4ArgmaxKeepsTheFirstOfEqualValues)
{
	const double lowest = std::numeric_limits<double>::lowest();
	const double nan = std::numeric_limits<double>::quiet_NaN();
	std::vector<Eigen::Vector4d> best(3, Eigen::Vector4d(-1, -1, -1, lowest));
	vec4argmax(best, {{1, 0, 0, 5.0}, {1, 0, 0, nan}, {1, 0, 0, lowest}});
	vec4argmax(best, {{2, 0, 0, 5.0}, {2, 0, 0, 1.0}, {2, 0, 0, -1.0}});
	vec4argmax(best, {{3, 0, 0, 6.0}, {3, 0, 0, nan}, {3, 0, 0, -1.0}});
	EXPECT_EQ(best[0], Eigen::Vector4d(3, 0, 0, 6.0));
	EXPECT_EQ(best[1], Eigen::Vector4d(2, 0, 0, 1.0));
	EXPECT_EQ(best[2], Eigen::Vector4d(2, 0, 0, -1.0));
	EXPECT_THROW(vec4argmax(best, {{0, 0, 0, 1.0}}), std::invalid_argument);
}

TEST(ImageMathRuntimeTest, DispatchThreadCreatesThePoolOnFirstUse)
{
	std::unique_ptr<Threading::ThreadPool> pool;
	std::atomic<int> done{0};
	dispatchThread(pool, [&] { ++done; });
	ASSERT_TRUE(pool);
	Threading::ThreadPool* created = pool.get();
	dispatchThread(pool, [&] { ++done; });
	EXPECT_EQ(pool.get(), created);
	pool->waitUntilFinished(0);
	EXPECT_EQ(done.load(), 2);
}
