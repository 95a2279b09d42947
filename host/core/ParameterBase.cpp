#include "host/core/ParameterBase.h"

#include "host/core/Configurable.h"
#include "host/core/Log.h"
#include "host/core/Properties.h"

#include <algorithm>

namespace Quorvale
{
	ParameterBase::ParameterBase(std::string name, Configurable* owner)
	    : m_name(std::move(name))
	{
		if (owner)
			owner->registerParameter(this);
	}

	ParameterBase::~ParameterBase()
	{
		if (m_owner)
			m_owner->unregisterParameter(this);
	}

	void ParameterBase::setAttribute(const std::string& name, const std::string& value)
	{
		for (auto& [key, text] : m_attributes)
			if (key == name)
			{
				text = value;
				return;
			}
		m_attributes.emplace_back(name, value);
	}

	std::optional<std::string> ParameterBase::attribute(const std::string& name) const
	{
		for (const auto& [key, text] : m_attributes)
			if (key == name)
				return text;
		return std::nullopt;
	}

	void ParameterBase::removeAttribute(const std::string& name)
	{
		m_attributes.erase(std::remove_if(m_attributes.begin(), m_attributes.end(), [&](const auto& a) { return a.first == name; }),
		                   m_attributes.end());
	}

	std::optional<std::string> ParameterBase::storedName(const Properties& properties) const
	{
		if (properties.hasParam(m_name))
			return m_name;
		for (const auto& old : m_deprecatedNames)
			if (properties.hasParam(old))
			{
				Log::log(Log::Warning, "Core.Parameter",
				         "Using deprecated parameter name '" + old + "'. Please use: '" + m_name + "' instead.");
				return old;
			}
		return std::nullopt;
	}

	void ParameterBase::writeAttributes(Properties& properties, const std::string& name) const
	{
		for (const auto& [key, text] : m_attributes)
			properties.setParamAttribute(name, key, text);
	}
}
