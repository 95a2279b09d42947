#pragma once

#include "host/core/Signal.h"
#include "host/lib/DataComponentBase.h"

#include <memory>
#include <typeinfo>
#include <vector>

namespace Quorvale
{
	class Data;

	/// The components of one data object, in insertion order, each of a distinct type.
	class DataComponentList
	{
	public:
		explicit DataComponentList(Data* owner = nullptr)
		    : m_owner(owner)
		{
		}
		/// Clones every component of `other` that is not temporary (no signal connections).
		DataComponentList(const DataComponentList& other, Data* owner);
		DataComponentList(const DataComponentList&) = delete;
		DataComponentList& operator=(const DataComponentList&) = delete;

		/// Makes this list's non-temporary components equal to those of `other`: a component of a type
		/// both lists have takes the other's values in place (pointers to it stay valid), others are
		/// removed or cloned. Temporary components of this list stay.
		void assignFrom(const DataComponentList& other);

		/// Adds a component. When one of the same kind is present (same dynamic type; for
		/// script components, the same id) it takes the new one's values, the new one is destroyed
		/// and the existing one is returned. Null gives null.
		DataComponentBase* add(std::unique_ptr<DataComponentBase> component);

		template <typename T>
		T* add(std::unique_ptr<T> component)
		{
			return static_cast<T*>(add(std::unique_ptr<DataComponentBase>(std::move(component))));
		}

		/// First component whose dynamic type is exactly `T`, or null.
		template <typename T>
		T* get()
		{
			return static_cast<T*>(find(typeid(T)));
		}
		template <typename T>
		const T* get() const
		{
			return static_cast<const T*>(find(typeid(T)));
		}

		/// The component of type `T`, added with its default values when missing.
		template <typename T>
		T* getOrCreate()
		{
			if (T* existing = get<T>())
				return existing;
			return add(std::make_unique<T>());
		}

		/// Removes and returns the component (null when it is not in the list).
		std::unique_ptr<DataComponentBase> remove(const DataComponentBase* component);

		int size() const { return static_cast<int>(m_components.size()); }
		bool empty() const { return m_components.empty(); }
		DataComponentBase* at(int index) const { return m_components.at(static_cast<size_t>(index)).get(); }
		std::vector<DataComponentBase*> all() const;

		Data* owner() const { return m_owner; }

		/// Emitted when a component is added or removed.
		Signal<> signalChanged;

	private:
		DataComponentBase* find(const std::type_info& type) const;
		DataComponentBase* findSameKind(const DataComponentBase& component) const;

		Data* m_owner;
		std::vector<std::unique_ptr<DataComponentBase>> m_components;
	};
}
