#pragma once

#include "host/lib/ImageMath/GlExprInterface.h"

#include <string>
#include <string_view>
#include <type_traits>
#include <typeindex>
#include <vector>

namespace Quorvale::ImageMath::internal
{
	class ArrayGl;

	/// A node's claim on a uniform in one shader assembly.
	struct UniformClaim
	{
		/// The GLSL name of the uniform.
		std::string name;
		/// True when this node declares it; false when an earlier node with the same key did.
		bool declares = false;
	};

	/// Names the tree below `node` for a new shader assembly: fresh tag and counter maps, with
	/// `prefix` before every new name.
	void tagAndAssignNamesHelper(GlExprInterface& node, const std::string& prefix);

	/// Claims the uniform of tagging key `key`: the name already entered for it, or a new name
	/// prefix + stem + the counter of `family` (then incremented), which is entered for the key.
	UniformClaim claimUniform(TagMap& tags, CounterMap& counters, const void* key, std::type_index family, const std::string& prefix,
	                          const std::string& stem);

	/// The name under which a uniform tagged as `name` with `taggedPrefix` is set when the
	/// arguments are passed with `prefix`: the leading `taggedPrefix` is replaced by `prefix` (a
	/// name without it gets `prefix` in front). Only the leading prefix changes, so a prefix that
	/// also occurs inside the name leaves the rest of the name intact.
	std::string retaggedName(const std::string& name, const std::string& taggedPrefix, const std::string& prefix);

	/// The untyped array nodes (arrays over image sets and images) in the tree below `root`,
	/// `root` included, in tree order.
	std::vector<const ArrayGl*> getVoidArrays(const GlExprInterface& root);

	/// `text` without white-space characters.
	std::string withoutWhitespace(std::string_view text);

	/// The C++ name of an element type without white space: "double", "unsignedchar", ...
	template <typename T>
	std::string compactTypeName()
	{
		if constexpr (std::is_same_v<T, char>)
			return "char";
		else if constexpr (std::is_same_v<T, unsigned char>)
			return withoutWhitespace("unsigned char");
		else if constexpr (std::is_same_v<T, short>)
			return "short";
		else if constexpr (std::is_same_v<T, unsigned short>)
			return withoutWhitespace("unsigned short");
		else if constexpr (std::is_same_v<T, int>)
			return "int";
		else if constexpr (std::is_same_v<T, unsigned int>)
			return withoutWhitespace("unsigned int");
		else if constexpr (std::is_same_v<T, float>)
			return "float";
		else
		{
			static_assert(std::is_same_v<T, double>, "not an image element type");
			return "double";
		}
	}
}
