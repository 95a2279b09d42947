#pragma once

#include "host/core/Configurable.h"
#include "host/core/Properties.h"

#include <memory>
#include <type_traits>
#include <string>

namespace Quorvale
{
	class Data;

	/// A piece of extra state attached to a data object (display options, annotations, caches).
	/// Components travel with their data object: copying the data clones every component that is
	/// not temporary.
	class DataComponentBase : public Configurable
	{
	public:
		DataComponentBase() = default;
		DataComponentBase(const DataComponentBase&) = default;
		DataComponentBase& operator=(const DataComponentBase&) = default;
		~DataComponentBase() override = default;

		/// Identifier of the component type, used when components are stored and matched by name.
		virtual std::string id() const = 0;
		/// A new copy in unique ownership.
		virtual std::unique_ptr<DataComponentBase> clone() const = 0;
		/// Takes the values of `other`; false when `other` is not of a matching type.
		virtual bool assign(const DataComponentBase& other) = 0;
		/// True when `other` holds the same values.
		virtual bool equals(const DataComponentBase& other) const = 0;
		/// Temporary components are neither copied with their data object nor saved.
		virtual bool isTemporary() const { return false; }
	};

	/// Components that need to know the data object they are attached to.
	class DataComponentWithParentInterface
	{
	public:
		virtual ~DataComponentWithParentInterface() = default;
		virtual void setParent(Data* parent) = 0;
	};

	/// Base for a concrete component type `T`: cloning by copy construction when `T` is copyable,
	/// else (parameters are not copyable) by default construction followed by assigning the
	/// registered parameters one by one; assignment and equality through the registered parameters
	/// unless `T` overrides them.
	template <typename T>
	class DataComponent : public DataComponentBase
	{
	public:
		std::unique_ptr<DataComponentBase> clone() const override { return cloneDerived(); }
		std::unique_ptr<T> cloneDerived() const
		{
			if constexpr (std::is_copy_constructible_v<T>)
				return std::make_unique<T>(static_cast<const T&>(*this));
			else
			{
				auto copy = std::make_unique<T>();
				copy->assignParameters(*this);
				return copy;
			}
		}

		bool assign(const DataComponentBase& other) override
		{
			if (!dynamic_cast<const T*>(&other))
				return false;
			Properties values;
			other.configuration(values);
			configure(values);
			return true;
		}

		bool equals(const DataComponentBase& other) const override;
	};

	/// A component that lives only in memory: never copied with its data object, never saved.
	template <typename T>
	class TemporaryDataComponent : public DataComponent<T>
	{
	public:
		bool isTemporary() const override { return true; }
	};
}

#include "host/core/Properties.h"

template <typename T>
bool Quorvale::DataComponent<T>::equals(const DataComponentBase& other) const
{
	if (!dynamic_cast<const T*>(&other))
		return false;
	Properties mine, theirs;
	configuration(mine);
	other.configuration(theirs);
	return mine.compareWith(theirs, Properties::CompareAll);
}
