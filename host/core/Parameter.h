#pragma once

#include "host/core/ParameterBase.h"
#include "host/core/Properties.h"

#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace Quorvale
{
	namespace ParameterDetail
	{
		template <typename U>
		struct IsOptional : std::false_type
		{
		};
		template <typename U>
		struct IsOptional<std::optional<U>> : std::true_type
		{
		};
	}

	/// A typed parameter: a value with a default (both start equal), a flag whether the default is
	/// written beside the value, and a type word written when not 0. Enumerations are stored as int
	/// with type word 8; set their "values" attribute to the comma-separated value names.
	template <typename T>
	class Parameter : public ParameterBase
	{
	public:
		using ValueType = T;

		Parameter(const std::string& name, const T& value)
		    : ParameterBase(name)
		    , m_value(value)
		    , m_default(value)
		    , m_type(defaultParamType())
		{
		}

		Parameter(const std::string& name, const T& value, Configurable* owner)
		    : ParameterBase(name, owner)
		    , m_value(value)
		    , m_default(value)
		    , m_type(defaultParamType())
		{
		}

		/// For optional values: starts disengaged and writes no default.
		template <typename U = T, typename = std::enable_if_t<ParameterDetail::IsOptional<U>::value>>
		explicit Parameter(const std::string& name, Configurable* owner = nullptr)
		    : ParameterBase(name, owner)
		    , m_writeDefault(false)
		    , m_type(defaultParamType())
		{
		}

		const T& value() const { return m_value; }
		operator const T&() const { return m_value; }
		const T* operator->() const { return &m_value; }

		/// Sets the value; emits the change signal when it differs from the old one.
		void setValue(const T& value)
		{
			if (equal(m_value, value))
				return;
			m_value = value;
			signalValueChanged.emitSignal();
		}
		Parameter& operator=(const T& value)
		{
			setValue(value);
			return *this;
		}

		const T& defaultValue() const { return m_default; }
		void setDefaultValue(const T& value) { m_default = value; }

		bool writesDefault() const { return m_writeDefault; }
		void setWriteDefault(bool write) { m_writeDefault = write; }

		PropertiesDetail::ParamType paramType() const { return m_type; }
		void setParamType(PropertiesDetail::ParamType type) { m_type = type; }

		void configure(const Properties& properties) override
		{
			auto stored = storedName(properties);
			if (!stored)
				return;
			T value = m_value;
			if (properties.param(*stored, value))
				setValue(value);
		}

		void configuration(Properties& properties) const override
		{
			if (m_writeDefault)
				properties.setParam(name(), m_value, m_default);
			else
				properties.setParam(name(), m_value);
			if (m_type != PropertiesDetail::ParamType::Default)
				properties.setParamType(name(), m_type);
			writeAttributes(properties, name());
		}

		void configureDefault() override { setValue(m_default); }

		bool assign(const ParameterBase& other) override
		{
			const auto* source = dynamic_cast<const Parameter<T>*>(&other);
			if (!source)
				return false;
			copyAttributesFrom(*source);
			m_writeDefault = source->m_writeDefault;
			m_type = source->m_type;
			m_value = source->m_value;
			m_default = source->m_default;
			signalValueChanged.emitSignal();
			return true;
		}

	private:
		static PropertiesDetail::ParamType defaultParamType()
		{
			return std::is_enum_v<T> ? PropertiesDetail::ParamType::Enumeration : PropertiesDetail::ParamType::Default;
		}

		static bool equal(const T& a, const T& b)
		{
			if constexpr (std::is_floating_point_v<T>)
				return a == b || (a != a && b != b);
			else
				return a == b;
		}

		T m_value{};
		T m_default{};
		bool m_writeDefault = true;
		PropertiesDetail::ParamType m_type = PropertiesDetail::ParamType::Default;
	};
}
