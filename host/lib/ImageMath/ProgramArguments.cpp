#include "host/lib/ImageMath/ProgramArguments.h"

#include "host/gl/Program.h"

namespace Quorvale::ImageMath::internal
{
	void ProgramArguments::setArgument(const std::string& name, const Eigen::Vector3d& value) { m_program.setArgument(name, value); }

	void ProgramArguments::setArgument(const std::string& name, int value) { m_program.setArgument(name, value); }

	void ProgramArguments::setArgument(const std::string& name, double value) { m_program.setArgument(name, value); }
}
