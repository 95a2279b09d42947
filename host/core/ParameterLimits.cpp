#include "host/core/ParameterLimits.h"

#include "host/core/String.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace Quorvale::ParameterLimits
{
	namespace
	{
		std::optional<std::string> attributeOf(const Properties::Param& param, const std::string& name)
		{
			for (const auto& [key, text] : param.attributes)
				if (key == name)
					return text;
			return std::nullopt;
		}

		/// The numbers a value holds (one for scalars, every element for vectors and lists, none for an
		/// empty optional or a non-numeric value).
		std::vector<double> numbersOf(const PropertyValue& value)
		{
			return std::visit(
			    [](const auto& v) -> std::vector<double>
			    {
				    using T = std::decay_t<decltype(v)>;
				    if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, std::string>)
					    return {};
				    else if constexpr (std::is_arithmetic_v<T>)
					    return {static_cast<double>(v)};
				    else if constexpr (std::is_same_v<T, std::optional<int>>)
					    return v ? std::vector<double>{static_cast<double>(*v)} : std::vector<double>{};
				    else if constexpr (std::is_same_v<T, std::vector<int>> || std::is_same_v<T, std::vector<double>>)
					    return std::vector<double>(v.begin(), v.end());
				    else if constexpr (std::is_base_of_v<Eigen::MatrixBase<T>, T>)
					    return std::vector<double>(v.data(), v.data() + v.size());
				    else
					    return {};
			    },
			    value);
		}

		bool isText(const PropertyValue& value)
		{
			return std::holds_alternative<std::string>(value) || std::holds_alternative<std::optional<std::string>>(value);
		}

		std::string join(const std::vector<std::string>& names)
		{
			std::string out;
			for (const auto& name : names)
				out += (out.empty() ? "" : ", ") + name;
			return out;
		}

		std::string rangeText(const Properties::Param& param)
		{
			const auto lo = bound(param, "min");
			const auto hi = bound(param, "max");
			if (lo && hi)
				return *attributeOf(param, "min") + " to " + *attributeOf(param, "max");
			if (lo)
				return "at least " + *attributeOf(param, "min");
			if (hi)
				return "at most " + *attributeOf(param, "max");
			return {};
		}
	}

	std::optional<double> bound(const Properties::Param& param, const std::string& name)
	{
		const auto text = attributeOf(param, name);
		if (!text)
			return std::nullopt;
		const std::string trimmed = String::trimCopy(*text);
		char* end = nullptr;
		errno = 0;
		const double number = std::strtod(trimmed.c_str(), &end);
		if (trimmed.empty() || *end != '\0' || errno == ERANGE || std::isnan(number))
			return std::nullopt;
		return number;
	}

	std::vector<std::string> valueNames(const Properties::Param& param)
	{
		const auto text = attributeOf(param, "values");
		if (!text || String::trimCopy(*text).empty())
			return {};
		std::vector<std::string> names;
		size_t start = 0;
		while (true)
		{
			const size_t comma = text->find(',', start);
			names.push_back(String::trimCopy(text->substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
			if (comma == std::string::npos)
				return names;
			start = comma + 1;
		}
	}

	std::string describe(const Properties::Param& param)
	{
		if (isText(param.value))
		{
			const auto names = valueNames(param);
			return names.empty() ? std::string() : "one of " + join(names);
		}
		return rangeText(param);
	}

	std::string violation(const Properties::Param& param, const PropertyValue& value)
	{
		if (const auto* text = std::get_if<std::string>(&value); text && isText(param.value))
		{
			const auto names = valueNames(param);
			bool listed = names.empty();
			for (const auto& name : names)
				listed = listed || name == *text;
			return listed ? std::string() : "must be one of " + join(names);
		}
		const auto lo = bound(param, "min");
		const auto hi = bound(param, "max");
		for (double number : numbersOf(value))
			if ((lo && !(number >= *lo)) || (hi && !(number <= *hi)))
				return (lo && hi ? "must lie between " + *attributeOf(param, "min") + " and " + *attributeOf(param, "max")
				                 : "must be " + rangeText(param));
		return {};
	}
}
