#pragma once

#include "host/gl/ObjectName.h"

#include <Eigen/Core>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace Quorvale::GL
{
	class Texture;

	/// A linked GL program (move-only): one compute shader, or a vertex and a fragment shader.
	///
	/// Created outside a guard, a program is compiled at its first use (inside a guard). Compile
	/// and link errors throw `ProgramError` (host/gl/GlError.h) with the driver's log and the source lines around
	/// each reported line.
	class Program
	{
	public:
		/// What `createCompute` does when the shader does not compile.
		enum class OnError
		{
			Throw,
			/// Log the error and return a program without a GL object (`isValid` false).
			Log
		};

		/// Access of an image binding.
		enum class Access
		{
			ReadOnly,
			WriteOnly,
			ReadWrite
		};

		/// No program.
		Program() = default;
		Program(Program&&) noexcept = default;
		Program& operator=(Program&&) noexcept = default;

		/// The compute shader stored at `resourcePath` ("RepositoryName/entry", see
		/// `Resource::get`), with `defines` (GLSL lines such as "#define CHANNELS 3\n") inserted
		/// after its #version line. Throws `ProgramError` when the resource does not exist, and
		/// for compile errors as `onError` says (compiled now inside a guard, else at first use).
		static Program createCompute(const std::string& resourcePath, const std::string& defines = {}, OnError onError = OnError::Throw);
		/// A compute program from source text; `label` names it in error messages.
		static Program createComputeFromSource(const std::string& source, const std::string& defines = {},
		                                       const std::string& label = "compute shader", OnError onError = OnError::Throw);
		/// A program of a vertex and a fragment shader.
		static Program createRender(const std::string& vertexSource, const std::string& fragmentSource,
		                            const std::string& label = "render program");

		/// True when the program holds shaders and has not failed to compile.
		bool isValid() const { return !m_stages.empty() && !m_failed; }
		/// The GL name; compiles and links first if still pending (needs a guard).
		unsigned int id() const;
		/// The compiled source of stage `i` (defines inserted).
		const std::string& source(std::size_t i = 0) const { return m_stages.at(i).source; }

		/// Makes this the current program (glUseProgram). Needs a guard.
		void enable() const;
		/// Makes no program current. Needs a guard.
		void disable() const;

		/// Sets the uniform `name`, converting the value to the uniform's declared type: a double
		/// 3-vector sets a vec3 (as floats) or a dvec3, a double 4x4 matrix a mat4 or a dmat4, an
		/// int a float, int, uint, bool or sampler/image unit, and so on. Returns false (and sets
		/// nothing) when the program has no active uniform of that name. Throws
		/// std::invalid_argument when the value's shape does not fit the declared type. Needs a guard.
		bool setArgument(const std::string& name, int value);
		bool setArgument(const std::string& name, unsigned int value);
		bool setArgument(const std::string& name, float value);
		bool setArgument(const std::string& name, double value);
		bool setArgument(const std::string& name, const Eigen::Vector2d& value);
		bool setArgument(const std::string& name, const Eigen::Vector3d& value);
		bool setArgument(const std::string& name, const Eigen::Vector4d& value);
		bool setArgument(const std::string& name, const Eigen::Vector2i& value);
		bool setArgument(const std::string& name, const Eigen::Vector3i& value);
		bool setArgument(const std::string& name, const Eigen::Vector4i& value);
		bool setArgument(const std::string& name, const Eigen::Vector3f& value);
		bool setArgument(const std::string& name, const Eigen::Vector4f& value);
		bool setArgument(const std::string& name, const Eigen::Matrix3d& value);
		bool setArgument(const std::string& name, const Eigen::Matrix4d& value);
		bool setArgument(const std::string& name, const Eigen::Matrix4f& value);

		/// The declared GL type of an active uniform (GL_FLOAT_VEC3, ...); 0 when there is none.
		/// Needs a guard.
		unsigned int uniformType(const std::string& name) const;

		/// Binds `texture` to image unit `unit` in its own format. 3-D textures are always bound
		/// layered (all slices). Needs a guard.
		void bindImage(unsigned int unit, const Texture& texture, Access access, int level = 0) const;
		/// Runs the compute program on x·y·z work groups (nothing for a zero count). Throws
		/// std::invalid_argument above the driver's per-dimension limit. Needs a guard.
		void dispatchCompute(unsigned int x, unsigned int y = 1, unsigned int z = 1) const;

		/// Shaders compiled in this process so far (for tests and benchmarks).
		static std::uint64_t compilationCount();

	private:
		struct Stage
		{
			unsigned int type = 0;
			std::string source;
		};
		struct Uniform
		{
			int location = -1;
			unsigned int type = 0;
		};

		static Program fromStages(std::vector<Stage> stages, std::string label, OnError onError);
		/// Compiles and links when still pending.
		void build() const;
		/// Marks the program failed and throws `ProgramError` with `message`, or logs it, as
		/// `m_onError` says.
		void fail(const std::string& message) const;
		/// Compiles `stages`, attaches them to `program` and links it; why it failed, or nothing.
		static std::optional<std::string> compileAndLink(unsigned int program, const std::vector<Stage>& stages, const std::string& label);
		/// The declared type of every active uniform of a linked `program`, by name; an array also
		/// by its plain name.
		static std::unordered_map<std::string, Uniform> activeUniforms(unsigned int program);
		bool setValues(const std::string& name, const double* values, int rows, int columns);

		std::vector<Stage> m_stages;
		std::string m_label;
		OnError m_onError = OnError::Throw;
		mutable bool m_failed = false;
		mutable ObjectName m_name;
		mutable std::unordered_map<std::string, Uniform> m_uniforms;
	};
}
