#pragma once

#include "host/core/Properties.h"
#include "host/core/PropertyValue.h"

#include <optional>
#include <string>
#include <vector>

namespace Quorvale
{
	/// The values a parameter allows, as its attributes state them: "min" and "max" bound numbers (every
	/// element of a vector or number list, the value of an engaged optional), and "values" lists the
	/// names an enumeration or a text parameter may take. Attributes that are not numbers are ignored,
	/// as editors ignore them.
	namespace ParameterLimits
	{
		/// The numeric attribute `name` ("min", "max") of `param`, or empty when absent or not a number.
		std::optional<double> bound(const Properties::Param& param, const std::string& name);

		/// The names of the "values" attribute (comma-separated, trimmed, kept by position), or empty.
		std::vector<std::string> valueNames(const Properties::Param& param);

		/// What the attributes allow, for listings: "at least 0", "at most 5", "1 to 5", "one of a, b"
		/// (text parameters only; enumerations list their names elsewhere); empty when unbounded.
		std::string describe(const Properties::Param& param);

		/// Why `value` is not allowed for `param` ("must be at least 0" ...), or empty when it is.
		std::string violation(const Properties::Param& param, const PropertyValue& value);
	}
}
