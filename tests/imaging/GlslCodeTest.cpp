#include "host/lib/ImageMath/GlTagging.h"
#include "host/lib/ImageMath/ShaderArguments.h"
#include "src/imaging/ChannelWiseScalar.h"
#include "src/imaging/GradientTransform.h"
#include "src/imaging/ImgOps.h"
#include "tests/imaging/ImagingTestUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace Quorvale;
using namespace Quorvale::ImagingTest;
using Constant = ImageMath::ChannelWiseScalar<double, 3>;
using ImageMath::internal::CounterMap;
using ImageMath::internal::TagMap;
using ImageMath::internal::TextureList;

namespace
{
	struct RecordingArguments : ImageMath::ShaderArguments
	{
		void setArgument(const std::string& name, const Eigen::Vector3d& value) override { vectors.emplace_back(name, value); }
		void setArgument(const std::string& name, int value) override { samplers.emplace_back(name, value); }
		std::vector<std::pair<std::string, Eigen::Vector3d>> vectors;
		std::vector<std::pair<std::string, int>> samplers;
	};

	std::string uniformsOf(const ImageMath::internal::GlExprInterface& node)
	{
		std::string out;
		node.getUniformDefinitionList(out, "");
		return out;
	}
}

TEST(GlslCodeTest, ConstantsAreNumberedPerAssemblyAndDeclareVec3Uniforms)
{
	Constant first(Eigen::Vector3d(1, 2, 3)), second(Eigen::Vector3d(4, 5, 6));
	EXPECT_EQ(first.name(), "uninitialized");
	EXPECT_FALSE(first.declaresUniform());
	EXPECT_EQ(uniformsOf(first), "");
	RecordingArguments arguments;
	TextureList textures;
	EXPECT_EQ(first.setArguments(arguments, textures, "p"), 0);

	TagMap tags;
	CounterMap counters;
	first.tagAndAssignNames(tags, counters, "p");
	second.tagAndAssignNames(tags, counters, "p");
	EXPECT_EQ(first.name(), "pchannelWiseScalardouble0");
	EXPECT_EQ(second.name(), "pchannelWiseScalardouble1");
	EXPECT_TRUE(first.declaresUniform());
	EXPECT_TRUE(second.declaresUniform());
	EXPECT_EQ(first.namePrefix(), "p");
	EXPECT_EQ(first.evalString(false), "pchannelWiseScalardouble0");

	// A fresh assembly starts counting again, with an empty prefix.
	EXPECT_EQ(second.evalString(true), "channelWiseScalardouble0");
	EXPECT_EQ(uniformsOf(second), "uniform vec3 channelWiseScalardouble0;\n");
	std::string variables;
	second.getVariableDefinitionList(variables, "");
	EXPECT_EQ(variables, "");
	EXPECT_TRUE(second.children().empty());
	EXPECT_EQ(second.imgDesc(), ImageDescriptor(ImageDescriptor::Double, {1, 1, 1}, 3));
	EXPECT_EQ(second.imageCount(), 0);
	EXPECT_EQ(second.deviceSupport(), ImageMath::GpuIfResident);
}

TEST(GlslCodeTest, ArgumentsAreSetUnderTheCallersPrefix)
{
	Constant constant(Eigen::Vector3d(0.5, -1, 2));
	TagMap tags;
	CounterMap counters;
	constant.tagAndAssignNames(tags, counters, "a");
	ASSERT_EQ(constant.name(), "achannelWiseScalardouble0");
	RecordingArguments arguments;
	TextureList textures;
	EXPECT_EQ(constant.setArguments(arguments, textures, "b"), 1);
	ASSERT_EQ(arguments.vectors.size(), 1u);
	EXPECT_EQ(arguments.vectors[0].first, "bchannelWiseScalardouble0");
	EXPECT_EQ(arguments.vectors[0].second, Eigen::Vector3d(0.5, -1, 2));
	EXPECT_TRUE(textures.empty());

	// Tagged without a prefix, the caller's prefix goes in front.
	constant.evalString(true);
	arguments.vectors.clear();
	constant.setArguments(arguments, textures, "b");
	EXPECT_EQ(arguments.vectors[0].first, "bchannelWiseScalardouble0");
}

TEST(GlslCodeTest, ANodeTaggedAgainInOneAssemblySharesItsUniformAndCopiesKeepTheState)
{
	Constant constant(Eigen::Vector3d(1, 1, 1));
	TagMap tags;
	CounterMap counters;
	constant.tagAndAssignNames(tags, counters, "");
	const Constant owner = constant;
	constant.tagAndAssignNames(tags, counters, "");
	EXPECT_EQ(constant.name(), "channelWiseScalardouble0");
	EXPECT_FALSE(constant.declaresUniform());
	EXPECT_EQ(uniformsOf(constant), "");
	RecordingArguments arguments;
	TextureList textures;
	EXPECT_EQ(constant.setArguments(arguments, textures, ""), 0);

	EXPECT_TRUE(owner.declaresUniform());
	EXPECT_EQ(owner.name(), "channelWiseScalardouble0");
	EXPECT_EQ(Constant(constant).name(), "channelWiseScalardouble0");
	EXPECT_FALSE(Constant(constant).declaresUniform());
}

TEST(GlslCodeTest, OperationSnippets)
{
	EXPECT_EQ(ImageMath::ImgOps::mult().glslExpression("a", "bc"), "(a)*(bc)");
	EXPECT_EQ(ImageMath::ImgOps::max().glslExpression("x + 1", "y"), "max((x + 1), (y))");
	EXPECT_EQ(ImageMath::ImgOps::add().glslExpression("a", "b"), "(a) + (b)");
	EXPECT_EQ(ImageMath::ImgOps::mult()(3.0, -0.5), -1.5);
	const double nan = std::nan("");
	EXPECT_EQ(ImageMath::ImgOps::max()(1.0, nan), 1.0);
	EXPECT_EQ(ImageMath::ImgOps::max()(1.0, 2.0), 2.0);
}

TEST(GlslCodeTest, GradientTreeAssemblesIntoOneExpression)
{
	auto image = makeImage<float>({2, 2, 2}, 3);
	Eigen::Matrix3d m;
	m << 1, 2, 3, 4, 5, 6, 7, 8, 9;
	auto tree = ImageMath::makeGradientTransform(arrayOf(*image), m);

	const auto term = [](int k)
	{
		const char channel = "xyz"[k];
		return "(channelWiseScalardouble" + std::to_string(k) + ")*(((texture(image0, texCoord))." + channel + ").xxx)";
	};
	EXPECT_EQ(tree.evalString(true), "((" + term(0) + ") + (" + term(1) + ")) + (" + term(2) + ")");
	// The three arrays read one image and share its sampler.
	EXPECT_EQ(uniformsOf(tree),
	          "uniform vec3 channelWiseScalardouble0;\nuniform sampler3D image0;\nuniform vec3 channelWiseScalardouble1;\n"
	          "uniform vec3 channelWiseScalardouble2;\n");

	RecordingArguments arguments;
	TextureList textures;
	EXPECT_EQ(tree.setArguments(arguments, textures, ""), 4);
	ASSERT_EQ(arguments.vectors.size(), 3u);
	for (int k = 0; k < 3; ++k)
	{
		EXPECT_EQ(arguments.vectors[static_cast<std::size_t>(k)].first, "channelWiseScalardouble" + std::to_string(k));
		EXPECT_EQ(arguments.vectors[static_cast<std::size_t>(k)].second, m.col(k));
	}
	EXPECT_EQ(arguments.samplers, (std::vector<std::pair<std::string, int>>{{"image0", 0}}));
	ASSERT_EQ(textures.size(), 1u);
	EXPECT_EQ(textures[0].image, image.get());
}
