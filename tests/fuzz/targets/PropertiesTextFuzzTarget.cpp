// The properties text parser: refused text leaves an error, accepted text reads back the same
// after writing it (compared as the written text).
#include "tests/fuzz/FuzzTarget.h"

#include "host/core/Log.h"
#include "host/core/Properties.h"
#include "host/core/PropertiesIO.h"

#include <Eigen/Core>

#include <limits>

namespace Quorvale::Fuzz
{
	namespace
	{
		void run(std::string_view input)
		{
			Log::ScopedCapture log;
			const auto properties = PropertiesIO::loadFromString(std::string(input), PropertiesIO::kTextFormat);
			if (!properties)
				return check(!log->messages(Log::Error).empty(), "properties text refused without an error message");
			const auto first = PropertiesIO::saveToString(*properties, PropertiesIO::kTextFormat);
			check(first.has_value(), "properties read from text could not be written");
			const auto again = PropertiesIO::loadFromString(*first, PropertiesIO::kTextFormat);
			check(again.has_value(), "written properties text was refused");
			check(PropertiesIO::saveToString(*again, PropertiesIO::kTextFormat) == first, "properties changed on their way through text");
		}

		std::vector<std::string> seeds()
		{
			Properties p("settings");
			p.setParam("count", 3);
			p.setParam("scale", 0.1);
			p.setParam("name", std::string("vessel \"tree\"\n"));
			p.setParam("flag", true);
			p.setParam("offset", Eigen::Vector3d(1, -2, 3.5));
			p.setParamAttribute("count", "min", "0");
			Properties& sub = p.addSubProperties("inner");
			sub.setParam("ratio", std::numeric_limits<double>::quiet_NaN());
			return {*PropertiesIO::saveToString(p, PropertiesIO::kTextFormat, "a comment"),
			        *PropertiesIO::saveToString(Properties(), PropertiesIO::kTextFormat)};
		}

		const FuzzTargetRegistration registration{{"properties", run, seeds}};
	}
}
