#include "src/imaging/ConstantGl.h"

#include "host/lib/ImageMath/GlTagging.h"

namespace Quorvale::ImageMath::internal
{
	std::string ConstantGl::evalString(bool assignNames)
	{
		if (assignNames)
			tagAndAssignNamesHelper(*this, {});
		return m_name;
	}

	void ConstantGl::tagAndAssignNames(TagMap& tags, CounterMap& counters, const std::string& prefix)
	{
		m_namePrefix = prefix;
		UniformClaim claim = claimUniform(tags, counters, tagKey(), family(), prefix, stem());
		m_name = std::move(claim.name);
		m_declaresUniform = claim.declares;
	}
}
