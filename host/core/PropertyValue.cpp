#include "host/core/PropertyValue.h"

#include "host/core/PropertyText.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace Quorvale::PropertiesDetail
{
	namespace
	{
		// Names in the order of the `PropertyValue` alternatives.
		constexpr const char* kTypeNames[] = {"bool",      "int",  "int64", "uint64", "float", "double",  "string",     "optint",
		                                      "optstring", "vec2", "vec3",  "vec4",   "mat4",  "intlist", "doublelist", "stringlist"};
		static_assert(std::size(kTypeNames) == std::variant_size_v<PropertyValue>);

		template <typename T, std::size_t I = 0>
		constexpr std::size_t indexOf()
		{
			if constexpr (I >= std::variant_size_v<PropertyValue>)
				return I;
			else if constexpr (std::is_same_v<T, std::variant_alternative_t<I, PropertyValue>>)
				return I;
			else
				return indexOf<T, I + 1>();
		}

		template <typename F>
		bool sameBits(F a, F b)
		{
			return std::memcmp(&a, &b, sizeof(F)) == 0;
		}

		// Bit-exact: -0 differs from 0, and a NaN equals only a NaN of the same bits.
		template <typename F>
		bool floatEqual(F a, F b)
		{
			return sameBits(a, b);
		}

		template <typename Matrix>
		bool matrixEqual(const Matrix& a, const Matrix& b)
		{
			if (a.size() != b.size())
				return false;
			for (Eigen::Index i = 0; i < a.size(); ++i)
				if (!floatEqual(a.data()[i], b.data()[i]))
					return false;
			return true;
		}

		bool isNumeric(const PropertyValue& v) { return v.index() <= indexOf<double>(); }

		// Numeric value as long double (exact for every integer and floating alternative).
		long double numericValue(const PropertyValue& v)
		{
			return std::visit(
			    [](const auto& x) -> long double
			    {
				    using X = std::decay_t<decltype(x)>;
				    if constexpr (std::is_arithmetic_v<X>)
					    return static_cast<long double>(x);
				    else
					    return 0;
			    },
			    v);
		}

		template <typename T>
		std::optional<T> numericTo(const PropertyValue& v)
		{
			const long double x = numericValue(v);
			if constexpr (std::is_same_v<T, bool>)
				return x != 0;
			else if constexpr (std::is_floating_point_v<T>)
			{
				// A finite number beyond the target's range does not fit: it would turn into infinity.
				const T result = static_cast<T>(x);
				if (std::isinf(result) && std::isfinite(x))
					return std::nullopt;
				return result;
			}
			else
			{
				if (std::isnan(x) || x < static_cast<long double>(std::numeric_limits<T>::min()) ||
				    x > static_cast<long double>(std::numeric_limits<T>::max()) || x != std::trunc(x))
					return std::nullopt;
				return static_cast<T>(x);
			}
		}
	}

	const char* typeName(const PropertyValue& value) { return kTypeNames[value.index()]; }

	bool valuesEqual(const PropertyValue& a, const PropertyValue& b)
	{
		if (a.index() != b.index())
			return false;
		return std::visit(
		    [&b](const auto& x) -> bool
		    {
			    using X = std::decay_t<decltype(x)>;
			    const X& y = std::get<X>(b);
			    if constexpr (std::is_floating_point_v<X>)
				    return floatEqual(x, y);
			    else if constexpr (std::is_base_of_v<Eigen::MatrixBase<X>, X>)
				    return matrixEqual(x, y);
			    else if constexpr (std::is_same_v<X, std::vector<double>>)
			    {
				    if (x.size() != y.size())
					    return false;
				    for (size_t i = 0; i < x.size(); ++i)
					    if (!floatEqual(x[i], y[i]))
						    return false;
				    return true;
			    }
			    else
				    return x == y;
		    },
		    a);
	}

	template <typename T>
	std::optional<T> convert(const PropertyValue& value)
	{
		if (const T* exact = std::get_if<T>(&value))
			return *exact;
		if constexpr (std::is_arithmetic_v<T>)
		{
			if (isNumeric(value))
				return numericTo<T>(value);
		}
		if constexpr (std::is_same_v<T, std::optional<int>>)
		{
			if (isNumeric(value))
				if (auto i = numericTo<int>(value))
					return T(*i);
		}
		if constexpr (std::is_same_v<T, std::optional<std::string>>)
		{
			if (const auto* s = std::get_if<std::string>(&value))
				return T(*s);
		}
		if constexpr (std::is_same_v<T, std::string>)
		{
			if (const auto* s = std::get_if<std::optional<std::string>>(&value); s && *s)
				return **s;
		}
		if (const auto* text = std::get_if<std::string>(&value))
		{
			auto parsed = PropertyText::parseValue(*text, kTypeNames[indexOf<T>()]);
			if (parsed)
				if (const T* typed = std::get_if<T>(&*parsed))
					return *typed;
		}
		return std::nullopt;
	}

	template std::optional<bool> convert<bool>(const PropertyValue&);
	template std::optional<int> convert<int>(const PropertyValue&);
	template std::optional<std::int64_t> convert<std::int64_t>(const PropertyValue&);
	template std::optional<std::uint64_t> convert<std::uint64_t>(const PropertyValue&);
	template std::optional<float> convert<float>(const PropertyValue&);
	template std::optional<double> convert<double>(const PropertyValue&);
	template std::optional<std::string> convert<std::string>(const PropertyValue&);
	template std::optional<std::optional<int>> convert<std::optional<int>>(const PropertyValue&);
	template std::optional<std::optional<std::string>> convert<std::optional<std::string>>(const PropertyValue&);
	template std::optional<Eigen::Vector2d> convert<Eigen::Vector2d>(const PropertyValue&);
	template std::optional<Eigen::Vector3d> convert<Eigen::Vector3d>(const PropertyValue&);
	template std::optional<Eigen::Vector4d> convert<Eigen::Vector4d>(const PropertyValue&);
	template std::optional<Eigen::Matrix4d> convert<Eigen::Matrix4d>(const PropertyValue&);
	template std::optional<std::vector<int>> convert<std::vector<int>>(const PropertyValue&);
	template std::optional<std::vector<double>> convert<std::vector<double>>(const PropertyValue&);
	template std::optional<std::vector<std::string>> convert<std::vector<std::string>>(const PropertyValue&);
}
