#include "host/lib/ImageMath/ArrayGl.h"

#include "host/lib/ImageMath/GlTagging.h"
#include "host/lib/ImageMath/ShaderArguments.h"

namespace Quorvale::ImageMath::internal
{
	std::string ArrayGl::evalString(bool assignNames)
	{
		if (assignNames)
			tagAndAssignNamesHelper(*this, {});
		return "texture(" + m_name + ", " + textureCoordinate + ")";
	}

	void ArrayGl::tagAndAssignNames(TagMap& tags, CounterMap& counters, const std::string& prefix)
	{
		m_namePrefix = prefix;
		UniformClaim claim = claimUniform(tags, counters, imageKey(), typeid(ArrayGl), prefix, "image");
		m_name = std::move(claim.name);
		m_declaresSampler = claim.declares;
	}

	void ArrayGl::getUniformDefinitionList(std::string& out, const std::string& prefix) const
	{
		if (m_declaresSampler)
			out += "uniform sampler3D " + m_name + ";\n";
	}

	int ArrayGl::setArguments(ShaderArguments& arguments, TextureList& textures, const std::string& prefix)
	{
		if (!m_declaresSampler)
			return 0;
		const int unit = static_cast<int>(textures.size());
		textures.push_back({glImage(), m_magFilter, m_wrap});
		arguments.setArgument(retaggedName(m_name, m_namePrefix, prefix), unit);
		return 1;
	}

	bool ArrayGl::setMagFilter(std::uint32_t filter)
	{
		const bool changed = filter != m_magFilter;
		m_magFilter = filter;
		return changed;
	}

	bool ArrayGl::setWrap(std::uint32_t wrap)
	{
		const bool changed = wrap != m_wrap;
		m_wrap = wrap;
		return changed;
	}

	bool ArrayGl::assignGl(GlExprInterface& expression) { return false; }
}
