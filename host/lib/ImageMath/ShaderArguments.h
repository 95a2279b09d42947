#pragma once

#include <Eigen/Core>

#include <stdexcept>
#include <string>

namespace Quorvale::ImageMath
{
	/// Receives the uniform values of an expression before a shader run: the GL program of an
	/// assembled expression shader implements it.
	class ShaderArguments
	{
	public:
		virtual ~ShaderArguments() = default;
		/// A vec3 uniform.
		virtual void setArgument(const std::string& name, const Eigen::Vector3d& value) = 0;
		/// An int uniform; sampler uniforms receive their texture unit this way.
		virtual void setArgument(const std::string& name, int value) = 0;
		/// A float uniform (a scalar constant). Receivers that take none keep this default, which
		/// throws std::logic_error naming the uniform.
		virtual void setArgument(const std::string& name, double value)
		{
			throw std::logic_error("The float uniform " + name + " cannot be set here");
		}
	};
}
