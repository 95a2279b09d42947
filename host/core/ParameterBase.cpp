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
				if (text == value)
					return;
				text = value;
				signalAttributeChanged.emitSignal();
				return;
			}
		m_attributes.emplace_back(name, value);
		signalAttributeChanged.emitSignal();
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
		const auto kept = std::remove_if(m_attributes.begin(), m_attributes.end(), [&](const auto& a) { return a.first == name; });
		if (kept == m_attributes.end())
			return;
		m_attributes.erase(kept, m_attributes.end());
		signalAttributeChanged.emitSignal();
	}

	void ParameterBase::copyAttributesFrom(const ParameterBase& other)
	{
		if (m_attributes == other.m_attributes)
			return;
		m_attributes = other.m_attributes;
		signalAttributeChanged.emitSignal();
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
