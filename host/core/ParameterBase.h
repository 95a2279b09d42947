#pragma once

#include "host/core/Signal.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Quorvale
{
	class Configurable;
	class Properties;

	/// A named, configurable setting registered on an owning `Configurable`. Not copyable: a
	/// parameter belongs to one owner; copy values between parameters with `assign`.
	class ParameterBase
	{
	public:
		/// Registers the parameter on `owner` when it is not null.
		explicit ParameterBase(std::string name, Configurable* owner = nullptr);
		ParameterBase(const ParameterBase&) = delete;
		ParameterBase& operator=(const ParameterBase&) = delete;
		/// Unregisters the parameter from its owner.
		virtual ~ParameterBase();

		const std::string& name() const { return m_name; }

		/// Reads the value from `properties` (under its name, else under a deprecated name).
		virtual void configure(const Properties& properties) = 0;
		/// Writes the value (and what goes with it) into `properties`.
		virtual void configuration(Properties& properties) const = 0;
		/// Sets the value back to the default.
		virtual void configureDefault() = 0;
		/// Takes value, default, flags and attributes of `other` when it is a parameter of the same
		/// type and emits the change signal; returns false (nothing changed) otherwise.
		virtual bool assign(const ParameterBase& other) = 0;

		/// Text attributes ("values", "hidden", "tooltip", "min", "useroption", "type", "label", ...);
		/// setting a new text or removing one emits `signalAttributeChanged`.
		void setAttribute(const std::string& name, const std::string& value);
		std::optional<std::string> attribute(const std::string& name) const;
		void removeAttribute(const std::string& name);
		const std::vector<std::pair<std::string, std::string>>& attributes() const { return m_attributes; }
		/// Sets the attribute "label", the text an editor shows instead of the name.
		void setLabel(const std::string& label) { setAttribute("label", label); }

		/// Older names under which a stored value is still read, with a warning.
		void addDeprecatedName(const std::string& name) { m_deprecatedNames.push_back(name); }
		const std::vector<std::string>& deprecatedNames() const { return m_deprecatedNames; }

		Configurable* owner() const { return m_owner; }

		/// Emitted whenever the value changes.
		Signal<> signalValueChanged;
		/// Emitted whenever an attribute is added, changed or removed. A signal of its own: a handler of
		/// the value's change may set attributes, and an editor hears of them only then.
		Signal<> signalAttributeChanged;

	protected:
		/// Name under which `properties` holds this parameter's value: its own name, else the first
		/// deprecated name present, which logs "Using deprecated parameter name ..." under "Core.Parameter".
		std::optional<std::string> storedName(const Properties& properties) const;
		/// Takes the attributes of `other`; emits `signalAttributeChanged` when they differ.
		void copyAttributesFrom(const ParameterBase& other);
		void writeAttributes(Properties& properties, const std::string& name) const;

	private:
		friend class Configurable;

		std::string m_name;
		std::vector<std::string> m_deprecatedNames;
		std::vector<std::pair<std::string, std::string>> m_attributes;
		Configurable* m_owner = nullptr;
	};
}
