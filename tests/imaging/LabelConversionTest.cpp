#include "src/imaging/LabelConversion.h"

#include "host/core/Log.h"
#include "host/gl/Policy.h"
#include "host/gl/Program.h"
#include "host/lib/ImageMath/GlTagging.h"
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
		void setArgument(const std::string& name, const Eigen::Vector3d&) override { vectors.push_back(name); }
		void setArgument(const std::string& name, int value) override { ints.emplace_back(name, value); }
		void setArgument(const std::string& name, double value) override { floats.emplace_back(name, value); }
		std::vector<std::string> vectors;
		std::vector<std::pair<std::string, int>> ints;
		std::vector<std::pair<std::string, double>> floats;
	};

	/// Codes of `dimensions` with about a third of them 0, the others random.
	std::unique_ptr<SharedImage> codeImage(const Eigen::Vector3i& dimensions, unsigned seed)
	{
		auto image = makeImage<unsigned int>(dimensions, 1);
		std::mt19937 random(seed);
		auto& codes = typed<unsigned int>(*image);
		for (std::size_t i = 0; i < codes.descriptor().size(); ++i)
			codes.pointer()[i] = random() % 3 == 0 ? 0u : static_cast<unsigned int>(random());
		return image;
	}
}

TEST(LabelConversionTest, GlslOfThePiecesAndTheirUniforms)
{
	EXPECT_EQ(ImageMath::ImgOps::equal{}.glslExpression("a", "b"), "vec4(equal(vec4(a), vec4(b)))");
	EXPECT_EQ(ImageMath::ImgOps::equal{}(2.0, 2.0), 1.0);
	EXPECT_EQ(ImageMath::ImgOps::equal{}(2.0, 3.0), 0.0);

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
	EXPECT_EQ(arguments.ints.size(), 1u);
}

TEST(LabelConversionTest, GlslCompiles)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	auto image = makeImage<float>({2, 2, 2}, 1);
	auto expression = ImageMath::makeLabelConversion(arrayOf(*image));
	const std::string value = expression.evalString(true);
	std::string uniforms;
	expression.getUniformDefinitionList(uniforms, "");
	const std::string source = "#version 430\nlayout(local_size_x = 1) in;\n" + uniforms +
	                           "layout(r32f) writeonly uniform image3D result;\n"
	                           "void main()\n{\n\tvec3 texCoord = vec3(gl_GlobalInvocationID) + 0.5;\n"
	                           "\timageStore(result, ivec3(gl_GlobalInvocationID), " +
	                           value + ");\n}\n";
	GL::Program program = GL::Program::createComputeFromSource(source, {}, "label conversion");
	EXPECT_NE(program.id(), 0u);
}

TEST(LabelConversionTest, OnTheGpuTheScalarsReachTheirUniforms)
{
	QUORVALE_OPEN_GL_GUARD(guard);
	GL::setPolicy(GL::Policy::Always);
	auto values = makeImage<float>({6, 5, 9}, 1);
	auto& memory = typed<float>(*values);
	for (std::size_t i = 0; i < memory.descriptor().size(); ++i)
		memory.pointer()[i] = static_cast<float>(i % 3);
	auto gpu = makeImage<float>({6, 5, 9}, 1);
	ImageMath::ArrayImage target = arrayOf(*gpu);
	ImageMath::evaluateLabelConversion(target, ImageMath::makeLabelConversion(arrayOf(*values), ImageMath::GpuFirst));
	GL::setPolicy(GL::Policy::Default);
	EXPECT_TRUE(gpu->hasGl()) << "the GPU declined";
	const auto& g = typed<float>(*gpu);
	for (std::size_t i = 0; i < memory.descriptor().size(); ++i)
		ASSERT_EQ(g.pointer()[i], i % 3 == 0 ? 1.0f : 0.0f) << i;
}

TEST(LabelConversionTest, EvaluationLocationFollowsTheCodes)
{
	auto codes = codeImage({3, 3, 3}, 1);
	auto floats = makeImage<float>({3, 3, 3}, 1);
	// Unsigned 32-bit codes cannot be sampled on the GPU: the whole conversion is CPU-only.
	EXPECT_EQ(ImageMath::makeLabelConversion(arrayOf(*codes)).deviceSupport(), ImageMath::CpuOnly);
	// Otherwise the wrapper's strategy bounds the level the operands offer.
	EXPECT_EQ(ImageMath::makeLabelConversion(arrayOf(*floats)).deviceSupport(), ImageMath::GpuFirst);
	EXPECT_EQ(ImageMath::makeLabelConversion(arrayOf(*floats), ImageMath::GpuIfResident).deviceSupport(), ImageMath::GpuIfResident);
	EXPECT_EQ(ImageMath::makeLabelConversion(arrayOf(*floats), ImageMath::CpuOnly).deviceSupport(), ImageMath::CpuOnly);
	EXPECT_EQ(ImageMath::Scalar<double>(1.0).deviceSupport(), ImageMath::GpuIfResident);
}

TEST(LabelConversionTest, CpuMarksExactlyTheZeroCodes)
{
	// 8 slices run on the calling thread, 9 in parallel; a storage mapping on the target is applied.
	for (int depth : {1, 8, 9})
		for (bool mapped : {false, true})
		{
			auto codes = codeImage({5, 3, depth}, static_cast<unsigned>(depth));
			auto result = makeImage<unsigned char>({5, 3, depth}, 1);
			if (mapped)
				result->mem()->setStorageMapping(0.5, 0.0);
			ImageMath::ArrayImage target = arrayOf(*result);
			ImageMath::evaluateLabelConversion(target, ImageMath::makeLabelConversion(arrayOf(*codes)));
			const auto& in = typed<unsigned int>(*codes);
			const auto& out = typed<unsigned char>(*result);
			for (std::size_t i = 0; i < in.descriptor().size(); ++i)
				ASSERT_EQ(out.pointer()[i], in.pointer()[i] == 0 ? (mapped ? 2 : 1) : 0) << depth << " " << i;
		}
}

TEST(LabelConversionTest, UnfitCodesAreRefused)
{
	auto floats = makeImage<float>({3, 3, 3}, 1);
	auto codes = codeImage({3, 3, 4}, 2);
	auto result = makeImage<unsigned char>({3, 3, 3}, 1);
	typed<unsigned char>(*result).fill(7);
	for (SharedImage* source : {floats.get(), codes.get()})
	{
		Log::ScopedCapture log;
		ImageMath::ArrayImage target = arrayOf(*result);
		ImageMath::evaluateLabelConversion(target, ImageMath::makeLabelConversion(arrayOf(*source)));
		EXPECT_EQ(log.sink().messages(Log::Error).size(), 1u);
		EXPECT_EQ(typed<unsigned char>(*result).at(1, 1, 1), 7);
	}
}
