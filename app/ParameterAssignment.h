#pragma once

#include "host/core/Properties.h"
#include "host/core/PropertyValue.h"

#include <map>
#include <optional>
#include <string>

namespace Quorvale
{
	class Configurable;

	/// Setting an algorithm's parameters from the command line ("--set name=value"). The text is read
	/// as the type the parameter stores, found through its `configuration`:
	/// - enumerations (type word 8 with a "values" attribute): a value name (case-insensitive, spaces
	///   ignored) or its number;
	/// - optionals: "none" or "unset" for no value;
	/// - bool: true/false, 1/0, yes/no, on/off (case-insensitive);
	/// - vectors, matrices and number lists: elements separated by commas or spaces;
	/// - strings: the text as it stands (no quotes needed);
	/// - everything else as `PropertyText::parseValue` reads it.
	namespace ParameterAssignment
	{
		/// A "name=value" argument.
		struct Assignment
		{
			std::string name;
			std::string value;
		};

		/// Splits "name=value" at the first "="; the name is trimmed. Empty when there is no "=" or no name.
		std::optional<Assignment> split(const std::string& text);

		/// True when `text` names the enumeration value `name` as `parseValue` reads it (case and white
		/// space aside).
		bool sameValueName(const std::string& name, const std::string& text);

		/// Reads `text` as a value of the type of the stored parameter `param`. Empty when the text is
		/// not a value of that type (an enumeration number outside its value list included).
		std::optional<PropertyValue> parseValue(const Properties::Param& param, const std::string& text);

		/// What `parseValue` accepts for `param`, for error messages ("a number (double)", ...).
		std::string expectedForm(const Properties::Param& param);

		/// The value as a user would write it: an enumeration's name, "unset" for an empty optional,
		/// strings without quotes, elements separated by commas.
		std::string formatValue(const Properties::Param& param);

		/// Sets the parameter `name` of `configurable` from `text` through `configure`, with a
		/// `Properties` holding that one typed value, and checks that the parameter took it. Throws
		/// `std::runtime_error` when the name is unknown, the text cannot be read, the value lies outside
		/// what the parameter allows (`ParameterLimits`) or was not taken; the caller adds the list of
		/// parameters (`describeParameters`) it wants shown. Hidden parameters are set like any other.
		void apply(Configurable& configurable, const std::string& name, const std::string& text);

		/// What the values a listing shows are: the defaults of an algorithm just made on its inputs (its
		/// constructor may set them by the inputs), or values as they stand after settings.
		enum class ValueHeading
		{
			Default,
			Current
		};

		/// What a listing shows besides the parameters' own attributes, by parameter name.
		struct ListingNotes
		{
			/// One-line descriptions, for parameters without a tooltip.
			std::map<std::string, std::string> descriptions;
			/// What a parameter allows, in place of what its attributes say (limits that sample inputs set).
			std::map<std::string, std::string> allowed;
		};

		/// A table of the registered parameters (indented, without a final line break): a header, then
		/// per parameter its name, type, current value (headed by `heading`) and what it allows
		/// (enumeration names, "1 to 5", "at least 0"), and on a line of its own below its tooltip, else
		/// its description from `notes`, followed by a note when it is hidden (an editor does not show
		/// it; --set still sets it). "(none)" when there are no parameters.
		std::string describeParameters(const Configurable& configurable, ValueHeading heading, const ListingNotes& notes = {});
	}
}
