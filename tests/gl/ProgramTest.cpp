#include "host/gl/Program.h"

#include <vector>

#include <GL/gl.h>

#include <gmock/gmock.h>

#include "host/gl/GlError.h"
#include "host/gl/HostShaders.h"
#include "host/gl/MemoryBarrier.h"
#include "host/gl/ProgramCache.h"
#include "host/gl/ShaderStorageBuffer.h"
#include "host/gl/Texture.h"
#include "tests/gl/GlTestSupport.h"

namespace Quorvale::GL
{
	namespace
	{
		/// Writes its uniforms into a storage buffer, as floats.
		const char* const kUniformEcho = R"(#version 430
layout(local_size_x = 1) in;
layout(std430, binding = 0) buffer Out { float values[]; };
uniform vec3 position;
uniform mat4 toWorld;
uniform dmat4 toPixel;
uniform uint count;
void main()
{
	for (int i = 0; i < 3; ++i) values[i] = position[i];
	for (int i = 0; i < 16; ++i) values[3 + i] = toWorld[i / 4][i % 4];
	for (int i = 0; i < 16; ++i) values[19 + i] = float(toPixel[i / 4][i % 4]);
	values[35] = float(count);
}
)";
	}

	TEST(ProgramTest, ArgumentsAreConvertedToTheDeclaredUniformTypes)
	{
		QUORVALE_OPEN_GL_GUARD(guard);
		Program program = Program::createComputeFromSource(kUniformEcho);
		Eigen::Matrix4d matrix;
		for (int i = 0; i < 16; ++i)
			matrix(i % 4, i / 4) = 0.5 * i - 3.0;
		EXPECT_TRUE(program.setArgument("position", Eigen::Vector3d(1.5, -2.0, 1e-3)));
		EXPECT_TRUE(program.setArgument("toWorld", matrix));
		EXPECT_TRUE(program.setArgument("toPixel", Eigen::Matrix4d(matrix * 2.0)));
		EXPECT_TRUE(program.setArgument("count", 7));
		EXPECT_FALSE(program.setArgument("missing", 1.0));
		EXPECT_THROW(program.setArgument("position", matrix), std::invalid_argument);

		ShaderStorageBuffer out(36 * sizeof(float));
		out.bindBase(0);
		program.dispatchCompute(1);
		memoryBarrier(Barrier::BufferUpdate);
		std::vector<float> values(36);
		out.download(values.data(), values.size() * sizeof(float));
		EXPECT_THAT(std::vector<float>(values.begin(), values.begin() + 3), ::testing::ElementsAre(1.5f, -2.0f, 1e-3f));
		for (int i = 0; i < 16; ++i)
		{
			EXPECT_EQ(values[3 + i], static_cast<float>(matrix(i % 4, i / 4)));
			EXPECT_EQ(values[19 + i], static_cast<float>(2.0 * matrix(i % 4, i / 4)));
		}
		EXPECT_EQ(values[35], 7.0f);
	}

	TEST(ProgramTest, AThreeDimensionalImageIsWrittenInEverySlice)
	{
		QUORVALE_OPEN_GL_GUARD(guard);
		Program program = Program::createComputeFromSource(R"(#version 430
layout(local_size_x = 1) in;
layout(r32ui, binding = 0) uniform writeonly uimage3D target;
void main() { ivec3 p = ivec3(gl_GlobalInvocationID); imageStore(target, p, uvec4(1 + p.x + 10 * p.y + 100 * p.z)); }
)");
		const Eigen::Vector3i size(3, 2, 4);
		Texture texture(size, Texture::formatFor(5125, 1));
		program.bindImage(0, texture, Program::Access::WriteOnly);
		program.dispatchCompute(3, 2, 4);
		memoryBarrier(Barrier::TextureUpdate);
		std::vector<unsigned int> texels(static_cast<std::size_t>(size.prod()));
		texture.download(texels.data());
		for (int z = 0; z < 4; ++z)
			for (int y = 0; y < 2; ++y)
				for (int x = 0; x < 3; ++x)
					EXPECT_EQ(texels[static_cast<std::size_t>(x + 3 * (y + 2 * z))], static_cast<unsigned int>(1 + x + 10 * y + 100 * z));
	}

	TEST(ProgramTest, ACompileErrorReportsTheDriverLogAndTheLinesAroundIt)
	{
		QUORVALE_OPEN_GL_GUARD(guard);
		try
		{
			Program::createComputeFromSource("#version 430\nlayout(local_size_x = 1) in;\nvoid main()\n{\n\tfloat x = undefinedName;\n}\n",
			                                 "#define UNUSED 1\n", "broken.comp");
			FAIL() << "the shader compiled";
		}
		catch (const std::runtime_error& e)
		{
			const std::string message = e.what();
			EXPECT_THAT(message, ::testing::HasSubstr("broken.comp"));
			EXPECT_THAT(message, ::testing::HasSubstr("undefinedName"));
			EXPECT_THAT(message, ::testing::HasSubstr("> 6: \tfloat x = undefinedName;"));
		}
		Program logged = Program::createComputeFromSource("#version 430\nvoid main() { bad }\n", {}, "logged", Program::OnError::Log);
		EXPECT_FALSE(logged.isValid());
	}

	TEST(ProgramTest, RenderProgramsLinkTheirStagesAndReportLinkErrors)
	{
		QUORVALE_OPEN_GL_GUARD(guard);
		Program program = Program::createRender("#version 430 compatibility\nuniform mat4 toClip;\nvoid main() { gl_Position = toClip * gl_Vertex; }\n",
		                                        "#version 430\nuniform vec4 color;\nout vec4 fragment;\nvoid main() { fragment = color; }\n");
		EXPECT_TRUE(program.setArgument("toClip", Eigen::Matrix4d::Identity().eval()));
		EXPECT_TRUE(program.setArgument("color", Eigen::Vector4d(1, 0, 0, 1)));
		EXPECT_EQ(program.uniformType("toClip"), static_cast<unsigned int>(GL_FLOAT_MAT4));
		EXPECT_THROW(Program::createRender("#version 430\nvoid helper() {}\n", "#version 430\nvoid main() {}\n", "no vertex main"),
		             std::runtime_error);
	}

	TEST(ProgramTest, TheCacheCompilesEachKeyOnceAndDropsTheLeastRecentlyUsed)
	{
		QUORVALE_OPEN_GL_GUARD(guard);
		ProgramCache cache = ProgramCache::fromSource("#version 430\nlayout(local_size_x = 1) in;\nvoid main() { int v = VALUE; }\n", 2);
		const auto first = cache.getProgram("#define VALUE 1\n");
		const std::uint64_t before = Program::compilationCount();
		EXPECT_EQ(cache.getProgram("#define VALUE 1\n"), first);
		cache.getProgram("#define VALUE 2\n");
		cache.getProgram("#define VALUE 1\n");
		cache.getProgram("#define VALUE 3\n");
		EXPECT_EQ(Program::compilationCount() - before, 2u);
		EXPECT_EQ(cache.size(), 2u);
		cache.getProgram("#define VALUE 1\n");
		cache.getProgram("#define VALUE 2\n");
		EXPECT_EQ(cache.compilations(), 4u);
		EXPECT_THROW(cache.getProgram("#define OTHER 1\n"), std::runtime_error);
	}

	TEST(ProgramTest, ComputeProgramsAreReadFromTheResourceService)
	{
		QUORVALE_OPEN_GL_GUARD(guard);
		EXPECT_THROW(Program::createCompute("NoSuchRepository/x.comp"), std::runtime_error);
		const Program program = Program::createCompute(hostShaderPath("MaxReduction.comp"),
		                                               "#define SAMPLER usampler3D\n#define VALUE uint\n#define VALUE4 uvec4\n"
		                                               "#define CHANNELS 2\n#define LESS_IS_BETTER 0\n#define IS_FLOAT 0\n");
		EXPECT_NE(program.id(), 0u);
		EXPECT_EQ(program.source().find("#version 430\n#define SAMPLER usampler3D\n"), 0u);
	}

	TEST(ProgramTest, AnAllocationBeyondMemoryThrowsNamingTheCall)
	{
		QUORVALE_OPEN_GL_GUARD(guard);
		try
		{
			ShaderStorageBuffer huge(std::size_t(1) << 42);
			FAIL() << "4 TiB were allocated";
		}
		catch (const Error& e)
		{
			EXPECT_EQ(e.code(), 0x0505u);
			EXPECT_THAT(e.what(), ::testing::HasSubstr("GL_OUT_OF_MEMORY after glBufferData"));
		}
	}
}
