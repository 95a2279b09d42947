#include "host/lib/ImageMath/GlExprInterface.h"

#include "host/lib/ImageMath/ExprInterface.h"

namespace Quorvale::ImageMath::internal
{
	GlExprInterface::~GlExprInterface() = default;

	void GlExprInterface::tagAndAssignNames(TagMap& tags, CounterMap& counters, const std::string& prefix)
	{
		for (GlExprInterface* child : children())
			child->tagAndAssignNames(tags, counters, prefix);
	}

	void GlExprInterface::getUniformDefinitionList(std::string& out, const std::string& prefix) const
	{
		for (const GlExprInterface* child : children())
			child->getUniformDefinitionList(out, prefix);
	}

	void GlExprInterface::getVariableDefinitionList(std::string& out, const std::string& prefix) const
	{
		for (const GlExprInterface* child : children())
			child->getVariableDefinitionList(out, prefix);
	}

	int GlExprInterface::setArguments(ShaderArguments& arguments, TextureList& textures, const std::string& prefix)
	{
		int count = 0;
		for (GlExprInterface* child : children())
			count += child->setArguments(arguments, textures, prefix);
		return count;
	}

	bool GlExprInterface::setMagFilter(std::uint32_t filter)
	{
		bool changed = false;
		for (GlExprInterface* child : children())
			changed = child->setMagFilter(filter) || changed;
		return changed;
	}

	bool GlExprInterface::setWrap(std::uint32_t wrap)
	{
		bool changed = false;
		for (GlExprInterface* child : children())
			changed = child->setWrap(wrap) || changed;
		return changed;
	}

	// Every node derives from both interfaces, so the cross-cast finds its evaluation side.
	const ExprInterface* GlExprInterface::exprInterface() const { return dynamic_cast<const ExprInterface*>(this); }

	ExprInterface* GlExprInterface::exprInterface() { return dynamic_cast<ExprInterface*>(this); }
}
