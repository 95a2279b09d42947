#pragma once

#include "host/core/Signal.h"

#include <string>
#include <vector>

namespace Quorvale
{
	class ParameterBase;
	class Properties;

	/// An object whose settings are registered parameters. `configure` and `configuration` walk
	/// them in registration order (which is member order when members register in their
	/// constructors). A copy starts with no registrations: the copy's own members register themselves.
	/// It receives its parameters' signals as a `SignalReceiver`; that base is virtual, so a derived
	/// class that names `SignalReceiver` as a base of its own shares the one receiver.
	class Configurable : public virtual SignalReceiver
	{
	public:
		Configurable() = default;
		Configurable(const Configurable&);
		/// Keeps this object's registrations; parameters are assigned one by one by the owner.
		Configurable& operator=(const Configurable&);
		virtual ~Configurable();

		/// Reads every registered parameter from `properties`; a missing one keeps its value.
		virtual void configure(const Properties& properties);
		/// Writes every registered parameter into `properties`.
		virtual void configuration(Properties& properties) const;
		/// Sets every registered parameter to its default.
		virtual void configureDefaults();

		/// Registers a parameter (appended in order); its changes are passed on as `signalParametersChanged`,
		/// changes of its attributes as `signalAttributeChanged`.
		void registerParameter(ParameterBase* parameter);
		void unregisterParameter(ParameterBase* parameter);
		const std::vector<ParameterBase*>& parameters() const { return m_parameters; }
		/// Assigns each registered parameter from the parameter at the same position of `other`
		/// (both objects register the same parameters in the same order, as copies of one type do).
		void assignParameters(const Configurable& other);
		/// The registered parameter of that name, or null.
		ParameterBase* parameter(const std::string& name) const;

		/// Emitted with the parameter whenever a registered parameter changes.
		Signal<ParameterBase*> signalParametersChanged;
		/// Emitted with the parameter whenever an attribute of a registered parameter changes.
		Signal<ParameterBase*> signalAttributeChanged;

	private:
		std::vector<ParameterBase*> m_parameters;
	};
}
