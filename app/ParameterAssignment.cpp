#include "app/ParameterAssignment.h"

#include "app/TextTable.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include <fmt/format.h>

#include "host/core/Configurable.h"
#include "host/core/ParameterBase.h"
#include "host/core/ParameterLimits.h"
#include "host/core/PropertyText.h"
#include "host/core/String.h"

namespace Quorvale::ParameterAssignment
{
	namespace
	{
		std::string typeOf(const Properties::Param& param) { return PropertiesDetail::typeName(param.value); }

		/// The value names of an enumeration in the order of their numbers; empty for other parameters.
		std::vector<std::string> enumerationNames(const Properties::Param& param)
		{
			if (param.type != PropertiesDetail::ParamType::Enumeration || !std::holds_alternative<int>(param.value))
				return {};
			return ParameterLimits::valueNames(param);
		}

		/// Lower case without white space: "Edge Length" and "edgelength" compare equal.
		std::string normalisedName(const std::string& text)
		{
			std::string out;
			for (char c : text)
				if (!std::isspace(static_cast<unsigned char>(c)))
					out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
			return out;
		}

		bool isNoneWord(const std::string& text)
		{
			const std::string word = String::toLowerCopy(String::trimCopy(text));
			return word == "none" || word == "unset";
		}

		std::optional<PropertyValue> parseEnumeration(const std::vector<std::string>& names, const std::string& text)
		{
			for (size_t i = 0; i < names.size(); ++i)
				if (sameValueName(names[i], text))
					return PropertyValue(static_cast<int>(i));
			auto number = PropertyText::parseValue(text, "int");
			if (number && std::get<int>(*number) >= 0 && std::get<int>(*number) < static_cast<int>(names.size()))
				return number;
			return std::nullopt;
		}

		/// How `text` lies outside what `type` holds when it is a number of that kind that the type
		/// cannot hold ("a float holds ..."); else empty.
		std::string rangeProblem(const std::string& type, const std::string& text)
		{
			const std::string number = String::trimCopy(text);
			const bool integral = type == "int" || type == "int64" || type == "uint64";
			if (number.empty() || number.find_first_not_of(integral ? "0123456789+-" : "0123456789+-.eE") != std::string::npos)
				return {};
			char* end = nullptr;
			const long double value = std::strtold(number.c_str(), &end);
			if (end != number.c_str() + number.size() || std::isnan(value))
				return {};
			const auto outside = [&](auto lowest, auto largest)
			{ return value < static_cast<long double>(lowest) || value > static_cast<long double>(largest); };
			const auto magnitude = [&](auto tiny, auto largest)
			{
				const long double size = std::fabs(value);
				return size > static_cast<long double>(largest) || (size > 0 && size < static_cast<long double>(tiny));
			};
			if (type == "float" && magnitude(FLT_MIN, FLT_MAX))
				return fmt::format("a float holds 0 and magnitudes from {:g} to {:g}", FLT_MIN, FLT_MAX);
			if (type == "double" && magnitude(DBL_MIN, DBL_MAX))
				return fmt::format("a double holds 0 and magnitudes from {:g} to {:g}", DBL_MIN, DBL_MAX);
			if (type == "int" && outside(INT_MIN, INT_MAX))
				return fmt::format("an int holds {} to {}", INT_MIN, INT_MAX);
			if (type == "int64" && outside(INT64_MIN, INT64_MAX))
				return fmt::format("an int64 holds {} to {}", INT64_MIN, INT64_MAX);
			if (type == "uint64" && value > static_cast<long double>(UINT64_MAX))
				return fmt::format("a uint64 holds 0 to {}", UINT64_MAX);
			return {};
		}

		std::optional<PropertyValue> parseBool(const std::string& text)
		{
			const std::string word = String::toLowerCopy(String::trimCopy(text));
			if (word == "true" || word == "1" || word == "yes" || word == "on")
				return PropertyValue(true);
			if (word == "false" || word == "0" || word == "no" || word == "off")
				return PropertyValue(false);
			return std::nullopt;
		}

		/// "1, 0,0" becomes "1 0 0"; empty elements between commas make the text unreadable.
		std::optional<std::string> commasToSpaces(const std::string& text)
		{
			if (text.find(',') == std::string::npos)
				return text;
			std::string out;
			size_t start = 0;
			while (true)
			{
				const size_t comma = text.find(',', start);
				const std::string element =
				    String::trimCopy(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
				if (element.empty())
					return std::nullopt;
				if (!out.empty())
					out.push_back(' ');
				out += element;
				if (comma == std::string::npos)
					return out;
				start = comma + 1;
			}
		}

		bool isElementList(const std::string& type)
		{
			return type == "vec2" || type == "vec3" || type == "vec4" || type == "mat4" || type == "intlist" || type == "doublelist";
		}

		std::string join(const std::vector<std::string>& pieces, const std::string& separator)
		{
			std::string out;
			for (size_t i = 0; i < pieces.size(); ++i)
				out += (i ? separator : std::string()) + pieces[i];
			return out;
		}

		bool isHidden(const Properties::Param& param)
		{
			for (const auto& [key, text] : param.attributes)
				if (key == "hidden")
					return String::toLowerCopy(String::trimCopy(text)) == "true";
			return false;
		}

		std::string typeLabel(const Properties::Param& param)
		{
			return enumerationNames(param).empty() ? typeOf(param) : std::string("enumeration");
		}
	}

	std::optional<Assignment> split(const std::string& text)
	{
		const size_t equals = text.find('=');
		if (equals == std::string::npos)
			return std::nullopt;
		Assignment assignment{String::trimCopy(text.substr(0, equals)), text.substr(equals + 1)};
		if (assignment.name.empty())
			return std::nullopt;
		return assignment;
	}

	bool sameValueName(const std::string& name, const std::string& text)
	{
		const std::string wanted = normalisedName(text);
		return !wanted.empty() && normalisedName(name) == wanted;
	}

	std::optional<PropertyValue> parseValue(const Properties::Param& param, const std::string& text)
	{
		const std::string type = typeOf(param);
		if (const auto names = enumerationNames(param); !names.empty())
			return parseEnumeration(names, text);
		if (type == "bool")
			return parseBool(text);
		if (type == "string")
			return PropertyValue(text);
		if (type == "optstring")
			return isNoneWord(text) ? PropertyValue(std::optional<std::string>()) : PropertyValue(std::optional<std::string>(text));
		if (type == "optint")
		{
			if (isNoneWord(text))
				return PropertyValue(std::optional<int>());
			auto number = PropertyText::parseValue(text, "int");
			if (!number)
				return std::nullopt;
			return PropertyValue(std::optional<int>(std::get<int>(*number)));
		}
		if (type == "stringlist")
		{
			std::vector<std::string> items;
			for (const auto& piece : String::split(text, ","))
				if (auto item = String::trimCopy(piece); !item.empty())
					items.push_back(item);
			return PropertyValue(items);
		}
		if (isElementList(type))
		{
			const auto spaced = commasToSpaces(text);
			if (!spaced)
				return std::nullopt;
			return PropertyText::parseValue(*spaced, type);
		}
		return PropertyText::parseValue(text, type);
	}

	std::string expectedForm(const Properties::Param& param)
	{
		const std::string type = typeOf(param);
		if (const auto names = enumerationNames(param); !names.empty())
			return "one of " + join(names, ", ") + " (or its number, 0 to " + std::to_string(names.size() - 1) + ")";
		if (type == "bool")
			return "true or false (also yes/no, on/off, 1/0)";
		if (type == "int" || type == "int64")
			return "an integer";
		if (type == "uint64")
			return "a non-negative integer";
		if (type == "float" || type == "double")
			return "a number";
		if (type == "optint")
			return "an integer, or none";
		if (type == "string")
			return "a text";
		if (type == "optstring")
			return "a text, or none";
		if (type == "vec2" || type == "vec3" || type == "vec4")
			return std::string(1, type.back()) + " numbers separated by commas or spaces";
		if (type == "mat4")
			return "16 numbers, row by row, separated by commas or spaces";
		if (type == "intlist")
			return "integers separated by commas or spaces";
		if (type == "doublelist")
			return "numbers separated by commas or spaces";
		if (type == "stringlist")
			return "texts separated by commas";
		return "a value of type " + type;
	}

	std::string formatValue(const Properties::Param& param)
	{
		const std::string type = typeOf(param);
		if (const auto names = enumerationNames(param); !names.empty())
		{
			const int index = std::get<int>(param.value);
			return index >= 0 && index < static_cast<int>(names.size()) ? names[static_cast<size_t>(index)] : std::to_string(index);
		}
		if (const auto* text = std::get_if<std::string>(&param.value))
			return *text;
		if (const auto* text = std::get_if<std::optional<std::string>>(&param.value))
			return *text ? **text : std::string("unset");
		if (const auto* items = std::get_if<std::vector<std::string>>(&param.value))
			return join(*items, ", ");
		std::string text = PropertyText::formatValue(param.value);
		if (isElementList(type))
			std::replace(text.begin(), text.end(), ' ', ',');
		return text;
	}

	void apply(Configurable& configurable, const std::string& name, const std::string& text)
	{
		ParameterBase* parameter = configurable.parameter(name);
		if (!parameter)
			throw std::runtime_error("Unknown parameter '" + name + "'");

		Properties stored;
		parameter->configuration(stored);
		const Properties::Param* param = stored.findParam(name);
		if (!param)
			throw std::runtime_error("Parameter '" + name + "' is a group of settings, which --set cannot change");

		const auto value = parseValue(*param, text);
		if (const std::string range = value ? std::string() : rangeProblem(typeOf(*param), text); !range.empty())
			throw std::runtime_error("Value '" + text + "' of parameter '" + name + "' is out of range: " + range);
		if (!value)
			throw std::runtime_error("Cannot read '" + text + "' as the value of parameter '" + name + "': expected " + expectedForm(*param));

		if (const std::string problem = ParameterLimits::violation(*param, *value); !problem.empty())
			throw std::runtime_error("Value '" + text + "' of parameter '" + name + "' is not allowed: it " + problem);

		Properties update;
		update.setParamValue(name, *value);
		configurable.configure(update);

		// An algorithm may override `configure` or clamp values; say so rather than run with another value.
		Properties after;
		parameter->configuration(after);
		const Properties::Param* now = after.findParam(name);
		if (!now || !PropertiesDetail::valuesEqual(now->value, *value))
			throw std::runtime_error("Parameter '" + name + "' did not take the value '" + text + "' (it is " +
			                         (now ? formatValue(*now) : std::string("unknown")) + ")");
	}

	std::string describeParameters(const Configurable& configurable, ValueHeading heading, const ListingNotes& notes)
	{
		std::vector<std::vector<std::string>> rows = {{"NAME", "TYPE", heading == ValueHeading::Default ? "DEFAULT" : "VALUE", "ALLOWED"}};
		std::vector<std::string> lines = {""};
		// Per parameter, so that one that writes no single value (a group of settings) is listed too.
		for (const ParameterBase* parameter : configurable.parameters())
		{
			Properties stored;
			parameter->configuration(stored);
			const Properties::Param* param = stored.findParam(parameter->name());
			if (!param)
			{
				rows.push_back({parameter->name(), "group", "", "a group of settings, not set by --set"});
				lines.emplace_back();
				continue;
			}
			std::string allowed = ParameterLimits::describe(*param);
			if (const auto names = enumerationNames(*param); !names.empty())
				allowed = join(names, ", ");
			if (const auto given = notes.allowed.find(param->name); given != notes.allowed.end())
				allowed = given->second;
			rows.push_back({parameter->name(), typeLabel(*param), formatValue(*param), allowed});

			std::string line;
			for (const auto& [key, text] : param->attributes)
				if (key == "tooltip")
					line = text;
			if (const auto described = notes.descriptions.find(param->name); line.empty() && described != notes.descriptions.end())
				line = described->second;
			if (isHidden(*param))
				line += std::string(line.empty() ? "" : " ") + "(hidden in the window's panel; --set sets it)";
			lines.push_back(line);
		}
		if (rows.size() == 1)
			return "  (none)";
		return TextTable::format(rows, "  ", lines);
	}
}
