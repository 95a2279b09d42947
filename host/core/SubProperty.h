#pragma once

#include "host/core/Configurable.h"
#include "host/core/ParameterBase.h"
#include "host/core/Properties.h"
#include "host/core/Signal.h"

#include <string>

namespace Quorvale
{
	/// A parameter whose value is a whole settings group `T` (a `Configurable`), stored as the
	/// sub-properties named after the parameter. The group's changes are forwarded as this
	/// parameter's change signal.
	template <typename T>
	class SubProperty : public ParameterBase, public SignalReceiver
	{
	public:
		SubProperty(const std::string& name, const T& group, Configurable* owner = nullptr)
		    : ParameterBase(name, owner)
		    , m_group(group)
		{
			connectForwarding();
		}

		T& value() { return m_group; }
		const T& value() const { return m_group; }
		T* operator->() { return &m_group; }
		const T* operator->() const { return &m_group; }

		void configure(const Properties& properties) override
		{
			if (const Properties* sub = properties.subProperties(name()))
				m_group.configure(*sub);
		}

		void configuration(Properties& properties) const override
		{
			Properties& sub = properties.getOrAddSubProperties(name());
			m_group.configuration(sub);
			sub.setName(name());
			for (const auto& [key, text] : attributes())
				sub.setAttribute(key, text);
		}

		void configureDefault() override { m_group.configureDefaults(); }

		/// Takes the other group's values parameter by parameter (each emitting its own change
		/// signal), then emits this parameter's change signal once.
		bool assign(const ParameterBase& other) override
		{
			const auto* source = dynamic_cast<const SubProperty<T>*>(&other);
			if (!source)
				return false;
			{
				SignalBlocker blocker(signalValueChanged);
				m_forwarding->disconnect();
				static_cast<Configurable&>(m_group) = static_cast<const Configurable&>(source->m_group);
				m_group.assignParameters(source->m_group);
				connectForwarding();
				copyAttributesFrom(*source);
			}
			signalValueChanged.emitSignal();
			return true;
		}

	private:
		void connectForwarding()
		{
			m_forwarding = m_group.signalParametersChanged.connect(this, [this](ParameterBase*) { signalValueChanged.emitSignal(); });
		}

		T m_group;
		std::shared_ptr<SignalConnection> m_forwarding;
	};
}
