#include "host/gl/Program.h"

#include <atomic>
#include <cmath>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>

#include <GL/gl.h>

#include "host/core/Log.h"
#include "host/core/Resource/Repository.h"
#include "host/gl/ContextGuard.h"
#include "host/gl/GlError.h"
#include "host/gl/Texture.h"

namespace Quorvale::GL
{
	namespace
	{
		const char* const kCategory = "GL";
		std::atomic<std::uint64_t> g_compilations{0};

		void deleteProgram(unsigned int id) { glDeleteProgram(id); }

		const char* stageName(GLenum type)
		{
			switch (type)
			{
				case GL_COMPUTE_SHADER: return "compute";
				case GL_VERTEX_SHADER: return "vertex";
				case GL_FRAGMENT_SHADER: return "fragment";
				default: return "shader";
			}
		}

		/// `defines` placed on the line after the #version line (or first, without one).
		std::string withDefines(const std::string& source, const std::string& defines)
		{
			if (defines.empty())
				return source;
			std::string block = defines;
			if (block.back() != '\n')
				block += '\n';
			const std::size_t version = source.find("#version");
			if (version == std::string::npos)
				return block + source;
			const std::size_t lineEnd = source.find('\n', version);
			if (lineEnd == std::string::npos)
				return source + "\n" + block;
			return source.substr(0, lineEnd + 1) + block + source.substr(lineEnd + 1);
		}

		/// The driver's log followed by the source lines around every line it names (Mesa writes
		/// "0:12(5): error: ...", other drivers "0(12) : error ...").
		std::string describeFailure(const std::string& log, const std::string& source)
		{
			std::vector<std::string> lines;
			std::istringstream in(source);
			for (std::string line; std::getline(in, line);)
				lines.push_back(line);
			static const std::regex location(R"(^\s*\d+[:(](\d+)[(): ])");
			std::set<int> named;
			std::istringstream logLines(log);
			for (std::string line; std::getline(logLines, line);)
				if (std::smatch match; std::regex_search(line, match, location))
					named.insert(std::stoi(match[1].str()));
			std::string text = log;
			if (!text.empty() && text.back() != '\n')
				text += '\n';
			for (int number : named)
			{
				text += "Source around line " + std::to_string(number) + ":\n";
				for (int k = std::max(1, number - 2); k <= std::min(static_cast<int>(lines.size()), number + 2); ++k)
					text += (k == number ? "> " : "  ") + std::to_string(k) + ": " + lines[static_cast<std::size_t>(k - 1)] + "\n";
			}
			return text;
		}

		std::string shaderLog(GLuint shader)
		{
			GLint length = 0;
			glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
			std::string log(static_cast<std::size_t>(std::max(length, 1)), '\0');
			glGetShaderInfoLog(shader, length, nullptr, log.data());
			log.resize(std::char_traits<char>::length(log.c_str()));
			return log;
		}

		std::string programLog(GLuint program)
		{
			GLint length = 0;
			glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
			std::string log(static_cast<std::size_t>(std::max(length, 1)), '\0');
			glGetProgramInfoLog(program, length, nullptr, log.data());
			log.resize(std::char_traits<char>::length(log.c_str()));
			return log;
		}

		/// What a uniform type takes: the kind of its components and its shape.
		struct UniformShape
		{
			enum Kind
			{
				Float,
				Double,
				Int,
				Unsigned,
				Bool
			} kind;
			int rows;
			int columns;
		};

		bool shapeOf(GLenum type, UniformShape& shape)
		{
			switch (type)
			{
				case GL_FLOAT: shape = {UniformShape::Float, 1, 1}; return true;
				case GL_FLOAT_VEC2: shape = {UniformShape::Float, 2, 1}; return true;
				case GL_FLOAT_VEC3: shape = {UniformShape::Float, 3, 1}; return true;
				case GL_FLOAT_VEC4: shape = {UniformShape::Float, 4, 1}; return true;
				case GL_DOUBLE: shape = {UniformShape::Double, 1, 1}; return true;
				case GL_DOUBLE_VEC2: shape = {UniformShape::Double, 2, 1}; return true;
				case GL_DOUBLE_VEC3: shape = {UniformShape::Double, 3, 1}; return true;
				case GL_DOUBLE_VEC4: shape = {UniformShape::Double, 4, 1}; return true;
				case GL_INT: shape = {UniformShape::Int, 1, 1}; return true;
				case GL_INT_VEC2: shape = {UniformShape::Int, 2, 1}; return true;
				case GL_INT_VEC3: shape = {UniformShape::Int, 3, 1}; return true;
				case GL_INT_VEC4: shape = {UniformShape::Int, 4, 1}; return true;
				case GL_UNSIGNED_INT: shape = {UniformShape::Unsigned, 1, 1}; return true;
				case GL_UNSIGNED_INT_VEC2: shape = {UniformShape::Unsigned, 2, 1}; return true;
				case GL_UNSIGNED_INT_VEC3: shape = {UniformShape::Unsigned, 3, 1}; return true;
				case GL_UNSIGNED_INT_VEC4: shape = {UniformShape::Unsigned, 4, 1}; return true;
				case GL_BOOL: shape = {UniformShape::Bool, 1, 1}; return true;
				case GL_BOOL_VEC2: shape = {UniformShape::Bool, 2, 1}; return true;
				case GL_BOOL_VEC3: shape = {UniformShape::Bool, 3, 1}; return true;
				case GL_BOOL_VEC4: shape = {UniformShape::Bool, 4, 1}; return true;
				case GL_FLOAT_MAT3: shape = {UniformShape::Float, 3, 3}; return true;
				case GL_FLOAT_MAT4: shape = {UniformShape::Float, 4, 4}; return true;
				case GL_DOUBLE_MAT3: shape = {UniformShape::Double, 3, 3}; return true;
				case GL_DOUBLE_MAT4: shape = {UniformShape::Double, 4, 4}; return true;
				default:
					// Samplers and images take their unit as an int.
					shape = {UniformShape::Int, 1, 1};
					return false;
			}
		}
	}

	Program Program::fromStages(std::vector<Stage> stages, std::string label, OnError onError)
	{
		Program program;
		program.m_stages = std::move(stages);
		program.m_label = std::move(label);
		program.m_onError = onError;
		if (ContextGuard::isActive())
			program.build();
		return program;
	}

	Program Program::createCompute(const std::string& resourcePath, const std::string& defines, OnError onError)
	{
		std::optional<ByteBuffer> source = Resource::get(resourcePath);
		if (!source)
			throw ProgramError("No shader resource " + resourcePath);
		return createComputeFromSource(source->toString(), defines, resourcePath, onError);
	}

	Program Program::createComputeFromSource(const std::string& source, const std::string& defines, const std::string& label,
	                                         OnError onError)
	{
		return fromStages({{GL_COMPUTE_SHADER, withDefines(source, defines)}}, label, onError);
	}

	Program Program::createRender(const std::string& vertexSource, const std::string& fragmentSource, const std::string& label)
	{
		return fromStages({{GL_VERTEX_SHADER, vertexSource}, {GL_FRAGMENT_SHADER, fragmentSource}}, label, OnError::Throw);
	}

	void Program::build() const
	{
		if (m_name || m_failed || m_stages.empty())
			return;
		ContextGuard::requireActive("glLinkProgram");
		clearErrors();
		ObjectName program(glCreateProgram(), &deleteProgram);
		++g_compilations;
		if (const std::optional<std::string> failure = compileAndLink(program.id(), m_stages, m_label))
			return fail(*failure);
		checkError("glLinkProgram");
		m_uniforms = activeUniforms(program.id());
		m_name = std::move(program);
	}

	void Program::fail(const std::string& message) const
	{
		m_failed = true;
		if (m_onError == OnError::Throw)
			throw ProgramError(message);
		Log::error(message, kCategory);
	}

	std::optional<std::string> Program::compileAndLink(unsigned int program, const std::vector<Stage>& stages, const std::string& label)
	{
		std::vector<GLuint> shaders;
		const auto releaseShaders = [&]
		{
			for (GLuint shader : shaders)
				glDeleteShader(shader);
		};
		for (const Stage& stage : stages)
		{
			const GLuint shader = glCreateShader(stage.type);
			shaders.push_back(shader);
			const char* text = stage.source.c_str();
			glShaderSource(shader, 1, &text, nullptr);
			glCompileShader(shader);
			GLint compiled = GL_FALSE;
			glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
			if (!compiled)
			{
				const std::string log = shaderLog(shader);
				releaseShaders();
				return "Cannot compile the " + std::string(stageName(stage.type)) + " shader of " + label + ":\n" +
				       describeFailure(log, stage.source);
			}
			glAttachShader(program, shader);
		}
		glLinkProgram(program);
		GLint linked = GL_FALSE;
		glGetProgramiv(program, GL_LINK_STATUS, &linked);
		releaseShaders();
		if (!linked)
			return "Cannot link " + label + ":\n" + programLog(program);
		return std::nullopt;
	}

	std::unordered_map<std::string, Program::Uniform> Program::activeUniforms(unsigned int program)
	{
		std::unordered_map<std::string, Uniform> uniforms;
		GLint count = 0;
		glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
		for (GLint i = 0; i < count; ++i)
		{
			char name[256];
			GLsizei length = 0;
			GLint size = 0;
			GLenum type = 0;
			glGetActiveUniform(program, static_cast<GLuint>(i), sizeof name, &length, &size, &type, name);
			std::string uniformName(name, static_cast<std::size_t>(length));
			const Uniform uniform{glGetUniformLocation(program, uniformName.c_str()), type};
			if (uniform.location < 0)
				continue;
			// An array is reported as "a[0]"; it is also set by its plain name.
			if (const std::size_t bracket = uniformName.find("[0]"); bracket != std::string::npos)
				uniforms[uniformName.substr(0, bracket)] = uniform;
			uniforms[uniformName] = uniform;
		}
		return uniforms;
	}

	unsigned int Program::id() const
	{
		build();
		return m_name.id();
	}

	void Program::enable() const
	{
		ContextGuard::requireActive("glUseProgram");
		glUseProgram(id());
		checkError("glUseProgram");
	}

	void Program::disable() const
	{
		ContextGuard::requireActive("glUseProgram");
		glUseProgram(0);
	}

	unsigned int Program::uniformType(const std::string& name) const
	{
		ContextGuard::requireActive("glGetActiveUniform");
		build();
		auto found = m_uniforms.find(name);
		return found == m_uniforms.end() ? 0 : found->second.type;
	}

	namespace
	{
		template <typename T>
		using UniformVector = void (*)(GLuint, GLint, GLsizei, const T*);

		/// Sets a vector uniform of `n` (1 to 4) components with the setter of its size.
		template <typename T>
		void setVector(GLuint program, GLint location, const T* v, int n, const UniformVector<T> (&setters)[4])
		{
			setters[n - 1](program, location, 1, v);
		}

		void setFloats(GLuint program, GLint location, const double* values, int n, int columns)
		{
			float v[16];
			for (int i = 0; i < n; ++i)
				v[i] = static_cast<float>(values[i]);
			if (columns == 3)
				glProgramUniformMatrix3fv(program, location, 1, GL_FALSE, v);
			else if (columns == 4)
				glProgramUniformMatrix4fv(program, location, 1, GL_FALSE, v);
			else
				setVector<GLfloat>(program, location, v, n, {glProgramUniform1fv, glProgramUniform2fv, glProgramUniform3fv, glProgramUniform4fv});
		}

		void setDoubles(GLuint program, GLint location, const double* values, int n, int columns)
		{
			if (columns == 3)
				glProgramUniformMatrix3dv(program, location, 1, GL_FALSE, values);
			else if (columns == 4)
				glProgramUniformMatrix4dv(program, location, 1, GL_FALSE, values);
			else
				setVector<GLdouble>(program, location, values, n,
				                    {glProgramUniform1dv, glProgramUniform2dv, glProgramUniform3dv, glProgramUniform4dv});
		}

		void setUnsigned(GLuint program, GLint location, const double* values, int n)
		{
			GLuint v[4];
			for (int i = 0; i < n; ++i)
				v[i] = static_cast<GLuint>(std::llround(values[i]));
			setVector<GLuint>(program, location, v, n, {glProgramUniform1uiv, glProgramUniform2uiv, glProgramUniform3uiv, glProgramUniform4uiv});
		}

		/// Ints, or booleans (any non-zero value is true).
		void setInts(GLuint program, GLint location, const double* values, int n, bool booleans)
		{
			GLint v[4];
			for (int i = 0; i < n; ++i)
				v[i] = booleans ? (values[i] != 0.0) : static_cast<GLint>(std::llround(values[i]));
			setVector<GLint>(program, location, v, n, {glProgramUniform1iv, glProgramUniform2iv, glProgramUniform3iv, glProgramUniform4iv});
		}
	}

	bool Program::setValues(const std::string& name, const double* values, int rows, int columns)
	{
		ContextGuard::requireActive("glProgramUniform");
		build();
		auto found = m_uniforms.find(name);
		if (found == m_uniforms.end())
		{
			Log::log(Log::Debug, kCategory, "No active uniform " + name + " in " + m_label);
			return false;
		}
		const GLuint program = m_name.id();
		const GLint location = found->second.location;
		UniformShape shape{};
		const bool known = shapeOf(found->second.type, shape);
		if (shape.rows != rows || shape.columns != columns)
			throw std::invalid_argument("Uniform " + name + " of " + m_label + (known ? "" : " (a sampler or image)") + " takes " +
			                            std::to_string(shape.rows * shape.columns) + " value(s), not " + std::to_string(rows * columns));
		const int n = rows * columns;
		switch (shape.kind)
		{
			case UniformShape::Float: setFloats(program, location, values, n, columns); break;
			case UniformShape::Double: setDoubles(program, location, values, n, columns); break;
			case UniformShape::Unsigned: setUnsigned(program, location, values, n); break;
			case UniformShape::Int:
			case UniformShape::Bool: setInts(program, location, values, n, shape.kind == UniformShape::Bool); break;
		}
		checkError(("glProgramUniform (" + name + ")").c_str());
		return true;
	}

	bool Program::setArgument(const std::string& name, int value)
	{
		const double v = value;
		return setValues(name, &v, 1, 1);
	}

	bool Program::setArgument(const std::string& name, unsigned int value)
	{
		const double v = value;
		return setValues(name, &v, 1, 1);
	}

	bool Program::setArgument(const std::string& name, float value)
	{
		const double v = value;
		return setValues(name, &v, 1, 1);
	}

	bool Program::setArgument(const std::string& name, double value) { return setValues(name, &value, 1, 1); }

	bool Program::setArgument(const std::string& name, const Eigen::Vector2d& value) { return setValues(name, value.data(), 2, 1); }

	bool Program::setArgument(const std::string& name, const Eigen::Vector3d& value) { return setValues(name, value.data(), 3, 1); }

	bool Program::setArgument(const std::string& name, const Eigen::Vector4d& value) { return setValues(name, value.data(), 4, 1); }

	bool Program::setArgument(const std::string& name, const Eigen::Vector2i& value)
	{
		const Eigen::Vector2d v = value.cast<double>();
		return setValues(name, v.data(), 2, 1);
	}

	bool Program::setArgument(const std::string& name, const Eigen::Vector3i& value)
	{
		const Eigen::Vector3d v = value.cast<double>();
		return setValues(name, v.data(), 3, 1);
	}

	bool Program::setArgument(const std::string& name, const Eigen::Vector4i& value)
	{
		const Eigen::Vector4d v = value.cast<double>();
		return setValues(name, v.data(), 4, 1);
	}

	bool Program::setArgument(const std::string& name, const Eigen::Vector3f& value)
	{
		const Eigen::Vector3d v = value.cast<double>();
		return setValues(name, v.data(), 3, 1);
	}

	bool Program::setArgument(const std::string& name, const Eigen::Vector4f& value)
	{
		const Eigen::Vector4d v = value.cast<double>();
		return setValues(name, v.data(), 4, 1);
	}

	bool Program::setArgument(const std::string& name, const Eigen::Matrix3d& value) { return setValues(name, value.data(), 3, 3); }

	bool Program::setArgument(const std::string& name, const Eigen::Matrix4d& value) { return setValues(name, value.data(), 4, 4); }

	bool Program::setArgument(const std::string& name, const Eigen::Matrix4f& value)
	{
		const Eigen::Matrix4d v = value.cast<double>();
		return setValues(name, v.data(), 4, 4);
	}

	void Program::bindImage(unsigned int unit, const Texture& texture, Access access, int level) const
	{
		ContextGuard::requireActive("glBindImageTexture");
		const GLenum glAccess = access == Access::ReadOnly ? GL_READ_ONLY : access == Access::WriteOnly ? GL_WRITE_ONLY : GL_READ_WRITE;
		// A 3-D texture bound non-layered exposes one slice, and llvmpipe writes nothing to it
		// without reporting an error: always bind all layers.
		glBindImageTexture(unit, texture.id(), level, texture.isLayered() ? GL_TRUE : GL_FALSE, 0, glAccess, texture.format().internalFormat);
		checkError("glBindImageTexture");
	}

	void Program::dispatchCompute(unsigned int x, unsigned int y, unsigned int z) const
	{
		ContextGuard::requireActive("glDispatchCompute");
		if (x == 0 || y == 0 || z == 0)
			return;
		const unsigned int counts[3] = {x, y, z};
		for (GLuint axis = 0; axis < 3; ++axis)
		{
			GLint limit = 0;
			glGetIntegeri_v(GL_MAX_COMPUTE_WORK_GROUP_COUNT, axis, &limit);
			if (counts[axis] > static_cast<unsigned int>(limit))
				throw std::invalid_argument("Cannot dispatch " + std::to_string(counts[axis]) + " work groups along axis " + std::to_string(axis) +
				                            " (the limit is " + std::to_string(limit) + ")");
		}
		glUseProgram(id());
		glDispatchCompute(x, y, z);
		checkError("glDispatchCompute");
	}

	std::uint64_t Program::compilationCount() { return g_compilations.load(); }
}
