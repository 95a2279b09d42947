#pragma once

#include "host/lib/ImageMath/ShaderArguments.h"

namespace Quorvale::GL
{
	class Program;
}

namespace Quorvale::ImageMath::internal
{
	/// Passes an expression's uniform values to a GL program, which converts each to the uniform's
	/// declared type. Needs an open guard while used.
	class ProgramArguments : public ShaderArguments
	{
	public:
		explicit ProgramArguments(GL::Program& program)
		    : m_program(program)
		{
		}
		void setArgument(const std::string& name, const Eigen::Vector3d& value) override;
		void setArgument(const std::string& name, int value) override;
		void setArgument(const std::string& name, double value) override;

	private:
		GL::Program& m_program;
	};
}
