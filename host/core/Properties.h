#pragma once

#include "host/core/PropertyValue.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Quorvale
{
	/// A named set of typed values ("parameters"), each with an optional default, a type word and
	/// text attributes, plus attributes of the set itself and nested named sets ("sub-properties").
	/// Parameters and sub-properties keep their insertion order. An empty set holds no allocation,
	/// so it is cheap to keep one in every graph node and edge.
	class Properties
	{
	public:
		/// Flags of `compareWith`; 255 compares everything.
		enum CompareFlags : unsigned
		{
			CompareValues = 1,
			CompareDefaults = 2,
			CompareTypes = 4,
			CompareAttributes = 8,
			CompareSubProperties = 16,
			CompareNames = 32,
			CompareAll = 255
		};

		/// One stored parameter.
		struct Param
		{
			std::string name;
			PropertyValue value;
			std::optional<PropertyValue> defaultValue;
			PropertiesDetail::ParamType type = PropertiesDetail::ParamType::Default;
			std::vector<std::pair<std::string, std::string>> attributes;
		};

		Properties();
		explicit Properties(std::string name);
		Properties(const Properties& other);
		Properties(Properties&& other) noexcept;
		Properties& operator=(const Properties& other);
		Properties& operator=(Properties&& other) noexcept;
		~Properties();

		const std::string& name() const;
		void setName(const std::string& name);

		/// True when the set has no name, no attributes, no parameters and no sub-properties.
		bool isEmpty() const;
		/// Removes everything, the name included.
		void clear();

		// Parameters ----------------------------------------------------------------------------

		bool hasParam(const std::string& name) const;
		/// Names of the parameters in insertion order.
		std::vector<std::string> paramNames() const;
		/// All parameters in insertion order.
		const std::vector<Param>& params() const;
		/// The stored parameter of that name, or null.
		const Param* findParam(const std::string& name) const;

		/// Reads the parameter into `value` (converted as `PropertiesDetail::convert` does).
		/// Returns false, leaving `value` unchanged, when it is missing or not convertible.
		template <typename T>
		bool param(const std::string& name, T& value) const
		{
			const Param* p = findParam(name);
			if (!p)
				return false;
			auto converted = PropertiesDetail::convert<PropertiesDetail::StoredTypeT<T>>(p->value);
			if (!converted)
				return false;
			value = static_cast<T>(*converted);
			return true;
		}

		/// The parameter's value as `T`, or empty when missing or not convertible.
		template <typename T>
		std::optional<T> param(const std::string& name) const
		{
			T value{};
			if (!param(name, value))
				return std::nullopt;
			return value;
		}

		/// Sets (or adds at the end) a parameter's value; its default, type and attributes stay.
		template <typename T>
		void setParam(const std::string& name, const T& value)
		{
			setParamValue(name, toValue(value));
		}
		void setParam(const std::string& name, const char* value) { setParamValue(name, std::string(value)); }

		/// Sets a parameter's value and default.
		template <typename T>
		void setParam(const std::string& name, const T& value, const T& defaultValue)
		{
			setParamValue(name, toValue(value));
			setParamDefault(name, toValue(defaultValue));
		}

		/// Appends a complete parameter without looking for one of the same name, for loaders that
		/// have made sure the name is new (of two parameters with one name only the first is found).
		void appendParam(Param param);

		void setParamValue(const std::string& name, PropertyValue value);
		void setParamDefault(const std::string& name, std::optional<PropertyValue> defaultValue);
		/// Removes the parameter; returns false when there was none.
		bool removeParam(const std::string& name);

		/// Type word of an existing parameter (nothing happens for a missing one).
		void setParamType(const std::string& name, PropertiesDetail::ParamType type);
		PropertiesDetail::ParamType paramType(const std::string& name) const;

		/// Text attribute of an existing parameter (nothing happens for a missing one).
		void setParamAttribute(const std::string& name, const std::string& attribute, const std::string& value);
		std::optional<std::string> paramAttribute(const std::string& name, const std::string& attribute) const;

		// Attributes of the set ---------------------------------------------------------------

		void setAttribute(const std::string& attribute, const std::string& value);
		/// Appends an attribute without looking for one of the same key (see `appendParam`).
		void appendAttribute(std::string attribute, std::string value);
		std::optional<std::string> attribute(const std::string& attribute) const;
		const std::vector<std::pair<std::string, std::string>>& attributes() const;

		// Sub-properties -----------------------------------------------------------------------

		/// The first sub-properties of that name, or null.
		Properties* subProperties(const std::string& name);
		const Properties* subProperties(const std::string& name) const;
		/// All sub-properties in insertion order.
		std::vector<Properties*> allSubProperties();
		std::vector<const Properties*> allSubProperties() const;
		/// Appends a copy of `sub` and returns the stored one.
		Properties& addSubProperties(Properties sub);
		/// Appends an empty set with that name and returns it.
		Properties& addSubProperties(const std::string& name);
		/// The first sub-properties of that name, appended when missing.
		Properties& getOrAddSubProperties(const std::string& name);
		/// Removes all sub-properties of that name; returns how many were removed.
		int removeSubProperties(const std::string& name);

		/// True when both sets are equal in the aspects chosen by `flags` (a `CompareFlags` mask).
		/// Parameters are matched by name, sub-properties by position.
		bool compareWith(const Properties& other, unsigned flags = CompareAll) const;

	private:
		struct Impl;

		template <typename T>
		static PropertyValue toValue(const T& value)
		{
			return PropertyValue(static_cast<PropertiesDetail::StoredTypeT<T>>(value));
		}

		Impl& impl();
		Param* findParamMutable(const std::string& name);

		std::unique_ptr<Impl> m_impl; ///< null while the set is empty
	};
}
