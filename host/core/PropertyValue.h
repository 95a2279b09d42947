#pragma once

#include <Eigen/Core>

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

namespace Quorvale
{
	/// The value types a `Properties` entry can hold. Enumerations are stored as `int`.
	using PropertyValue = std::variant<bool, int, std::int64_t, std::uint64_t, float, double, std::string, std::optional<int>,
	                                   std::optional<std::string>, Eigen::Vector2d, Eigen::Vector3d, Eigen::Vector4d, Eigen::Matrix4d,
	                                   std::vector<int>, std::vector<double>, std::vector<std::string>>;

	namespace PropertiesDetail
	{
		/// Type word stored beside a value to tell editors how to present it; 0 means none.
		enum class ParamType : int
		{
			Default = 0,
			Path = 1,
			Slider = 2,
			Text = 3,
			Color = 7,
			Enumeration = 8,
			/// A text chosen from the names of the attribute "values" (comma-separated), in the same
			/// editor as `Choice`.
			TextChoice = 9,
			/// A text chosen from the names of the attribute "values" (comma-separated); an optional
			/// text may also be left unset.
			Choice = 137
		};

		/// The stored form of a C++ value type: enumerations are stored as int, everything else as itself.
		template <typename T, typename = void>
		struct StoredType
		{
			using type = T;
		};
		template <typename T>
		struct StoredType<T, std::enable_if_t<std::is_enum_v<T>>>
		{
			using type = int;
		};
		template <>
		struct StoredType<const char*>
		{
			using type = std::string;
		};
		template <>
		struct StoredType<char*>
		{
			using type = std::string;
		};
		template <typename T>
		using StoredTypeT = typename StoredType<std::decay_t<T>>::type;

		/// Name of the value's type as written by `PropertiesIO` ("double", "vec4", ...).
		const char* typeName(const PropertyValue& value);

		/// Exact equality; NaN equals NaN of the same bits, so a value compares equal to its copy.
		bool valuesEqual(const PropertyValue& a, const PropertyValue& b);

		/// Converts a stored value to `T`: the same type as is, numbers between numeric types
		/// (when the value fits), and text parsed as `PropertiesIO` writes values. Empty on failure.
		template <typename T>
		std::optional<T> convert(const PropertyValue& value);
	}
}
