#include "host/core/Configurable.h"

#include "host/core/ParameterBase.h"
#include "host/core/Properties.h"

#include <algorithm>

namespace Quorvale
{
	Configurable::Configurable(const Configurable&)
	    : SignalReceiver()
	{
	}

	Configurable& Configurable::operator=(const Configurable&) { return *this; }

	Configurable::~Configurable()
	{
		// Parameters that outlive their owner must not unregister from it later.
		for (ParameterBase* p : m_parameters)
			p->m_owner = nullptr;
	}

	void Configurable::configure(const Properties& properties)
	{
		for (ParameterBase* p : m_parameters)
			p->configure(properties);
	}

	void Configurable::configuration(Properties& properties) const
	{
		for (const ParameterBase* p : m_parameters)
			p->configuration(properties);
	}

	void Configurable::configureDefaults()
	{
		for (ParameterBase* p : m_parameters)
			p->configureDefault();
	}

	void Configurable::registerParameter(ParameterBase* parameter)
	{
		if (!parameter || std::find(m_parameters.begin(), m_parameters.end(), parameter) != m_parameters.end())
			return;
		if (parameter->m_owner && parameter->m_owner != this)
			parameter->m_owner->unregisterParameter(parameter);
		parameter->m_owner = this;
		m_parameters.push_back(parameter);
		parameter->signalValueChanged.connect(this, [this, parameter]() { signalParametersChanged.emitSignal(parameter); });
		parameter->signalAttributeChanged.connect(this, [this, parameter]() { signalAttributeChanged.emitSignal(parameter); });
	}

	void Configurable::unregisterParameter(ParameterBase* parameter)
	{
		auto it = std::find(m_parameters.begin(), m_parameters.end(), parameter);
		if (it == m_parameters.end())
			return;
		m_parameters.erase(it);
		parameter->signalValueChanged.disconnect(this);
		parameter->signalAttributeChanged.disconnect(this);
		parameter->m_owner = nullptr;
	}

	void Configurable::assignParameters(const Configurable& other)
	{
		const auto& theirs = other.m_parameters;
		for (size_t i = 0; i < m_parameters.size() && i < theirs.size(); ++i)
			m_parameters[i]->assign(*theirs[i]);
	}

	ParameterBase* Configurable::parameter(const std::string& name) const
	{
		for (ParameterBase* p : m_parameters)
			if (p->name() == name)
				return p;
		return nullptr;
	}
}
