#include "host/lib/ImageMath/ReductionWrapperGl.h"

namespace Quorvale::ImageMath::internal
{
	bool ReductionWrapperGl::reduceGl(Eigen::VectorXd& result, std::vector<Eigen::Vector4i>* positions) { return false; }
}
