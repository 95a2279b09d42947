#include "src/imaging/LabelConversion.h"

#include "host/gl/Policy.h"
#include "tests/gl/GlTestSupport.h"
#include "tests/imaging/ImagingTestUtils.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace Quorvale;
using namespace Quorvale::ImagingTest;

namespace
{
	struct RecordingArguments : ImageMath::ShaderArguments
	{
		void setArgument(const std::string&, const Eigen::Vector3d&) override {}
		void setArgument(const std::string&, int) override {}
		void setArgument(const std::string& name, double value) override { floats.emplace_back(name, value); }
		std::vector<std::pair<std::string, double>> floats;
	};
}

TEST(LabelConversionTest, GlslOfThePiecesAndWhereTheyMayRun)
{
	auto image = makeImage<float>({2, 2, 2}, 1);
	auto expression = ImageMath::makeLabelConversion(arrayOf(*image));
	EXPECT_EQ(expression.evalString(true),
	          "mix(vec4(scalar2), vec4(scalar1), bvec4(vec4(equal(vec4(texture(image0, texCoord)), vec4(scalar0)))))");
	std::string uniforms;
	expression.getUniformDefinitionList(uniforms, "");
	EXPECT_EQ(uniforms, "uniform sampler3D image0;\nuniform float scalar0;\nuniform float scalar1;\nuniform float scalar2;\n");
	RecordingArguments arguments;
	ImageMath::internal::TextureList textures;
	EXPECT_EQ(expression.setArguments(arguments, textures, "p"), 4);
	EXPECT_EQ(arguments.floats, (std::vector<std::pair<std::string, double>>{{"pscalar0", 0.0}, {"pscalar1", 1.0}, {"pscalar2", 0.0}}));

	// Codes of unsigned 32-bit integers cannot be sampled: the whole conversion is CPU-only.
	auto codes = makeImage<unsigned int>({2, 2, 2}, 1);
	EXPECT_EQ(ImageMath::makeLabelConversion(arrayOf(*codes)).deviceSupport(), ImageMath::CpuOnly);
	EXPECT_EQ(ImageMath::makeLabelConversion(arrayOf(*image), ImageMath::GpuIfResident).deviceSupport(), ImageMath::GpuIfResident);
}

TEST(LabelConversionTest, OnTheGpuTheGlslCompilesAndTheScalarsReachTheirUniforms)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	GL::setPolicy(GL::Policy::Always);
	auto values = makeImage<float>({6, 5, 9}, 1);
	auto& memory = typed<float>(*values);
	for (std::size_t i = 0; i < memory.descriptor().size(); ++i)
		memory.pointer()[i] = static_cast<float>(i % 3);
	auto result = makeImage<float>({6, 5, 9}, 1);
	ImageMath::ArrayImage target = arrayOf(*result);
	ImageMath::evaluateLabelConversion(target, ImageMath::makeLabelConversion(arrayOf(*values), ImageMath::GpuFirst));
	GL::setPolicy(GL::Policy::Default);
	EXPECT_TRUE(result->hasGl()) << "the GPU declined";
	for (std::size_t i = 0; i < memory.descriptor().size(); ++i)
		ASSERT_EQ(typed<float>(*result).pointer()[i], i % 3 == 0 ? 1.0f : 0.0f) << i;
}

TEST(LabelConversionTest, CpuMarksExactlyTheZeroCodes)
{
	// 8 slices run on the calling thread, 9 in parallel; a storage mapping on the target is applied.
	for (int depth : {8, 9})
		for (bool mapped : {false, true})
		{
			auto codes = makeImage<unsigned int>({5, 3, depth}, 1);
			std::mt19937 random(static_cast<unsigned>(depth));
			auto& in = typed<unsigned int>(*codes);
			for (std::size_t i = 0; i < in.descriptor().size(); ++i)
				in.pointer()[i] = random() % 3 == 0 ? 0u : static_cast<unsigned int>(random());
			auto result = makeImage<unsigned char>({5, 3, depth}, 1);
			if (mapped)
				result->mem()->setStorageMapping(0.5, 0.0);
			ImageMath::ArrayImage target = arrayOf(*result);
			ImageMath::evaluateLabelConversion(target, ImageMath::makeLabelConversion(arrayOf(*codes)));
			for (std::size_t i = 0; i < in.descriptor().size(); ++i)
				ASSERT_EQ(typed<unsigned char>(*result).pointer()[i], in.pointer()[i] == 0 ? (mapped ? 2 : 1) : 0) << depth << " " << i;
		}
}
