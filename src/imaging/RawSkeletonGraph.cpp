#include "src/imaging/RawSkeletonGraph.h"

namespace Quorvale::detail
{
	// The one instantiation the plug-in uses, compiled once here.
	template class GraphImpl<int, std::tuple<>, std::uint64_t>;
}
