#include "host/lib/ImageMath/GlTagging.h"

#include <cctype>
#include <functional>

#include "host/lib/ImageMath/ArrayGl.h"

namespace Quorvale::ImageMath::internal
{
	void tagAndAssignNamesHelper(GlExprInterface& node, const std::string& prefix)
	{
		TagMap tags;
		CounterMap counters;
		node.tagAndAssignNames(tags, counters, prefix);
	}

	UniformClaim claimUniform(TagMap& tags, CounterMap& counters, const void* key, std::type_index family, const std::string& prefix,
	                          const std::string& stem)
	{
		if (auto found = tags.find(key); found != tags.end())
			return {found->second, false};
		int& counter = counters[family];
		UniformClaim claim{prefix + stem + std::to_string(counter), true};
		++counter;
		tags.emplace(key, claim.name);
		return claim;
	}

	std::string retaggedName(const std::string& name, const std::string& taggedPrefix, const std::string& prefix)
	{
		if (name.compare(0, taggedPrefix.size(), taggedPrefix) == 0)
			return prefix + name.substr(taggedPrefix.size());
		return prefix + name;
	}

	std::vector<const ArrayGl*> getVoidArrays(const GlExprInterface& root)
	{
		std::vector<const ArrayGl*> arrays;
		std::function<void(const GlExprInterface&)> visit = [&](const GlExprInterface& node)
		{
			if (auto array = dynamic_cast<const ArrayGl*>(&node); array && array->isVoidArray())
				arrays.push_back(array);
			for (const GlExprInterface* child : node.children())
				visit(*child);
		};
		visit(root);
		return arrays;
	}

	std::string withoutWhitespace(std::string_view text)
	{
		std::string result;
		result.reserve(text.size());
		for (char c : text)
			if (!std::isspace(static_cast<unsigned char>(c)))
				result.push_back(c);
		return result;
	}
}
