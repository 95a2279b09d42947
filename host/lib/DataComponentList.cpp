#include "host/lib/DataComponentList.h"

#include <algorithm>
#include <string>

namespace Quorvale
{
	namespace
	{
		bool sameKind(const DataComponentBase& existing, const DataComponentBase& added)
		{
			// Script-defined components share one C++ type and are told apart by their id.
			const std::string typeName = typeid(added).name();
			if (typeName.find("PyDataComponent") != std::string::npos)
				return existing.id() == added.id();
			return typeid(existing) == typeid(added);
		}
	}

	DataComponentList::DataComponentList(const DataComponentList& other, Data* owner)
	    : m_owner(owner)
	{
		assignFrom(other);
	}

	void DataComponentList::assignFrom(const DataComponentList& other)
	{
		if (&other == this)
			return;
		// Components of a type the other list also has take its values in place, so that whoever
		// holds a pointer to one (a renderer, a panel) keeps a valid one.
		std::vector<std::unique_ptr<DataComponentBase>> kept;
		for (auto& c : m_components)
		{
			const bool matched = std::any_of(other.m_components.begin(), other.m_components.end(),
			                                 [&](const auto& o) { return !o->isTemporary() && sameKind(*c, *o); });
			if (c->isTemporary() || matched)
				kept.push_back(std::move(c));
		}
		m_components = std::move(kept);
		for (const auto& c : other.m_components)
		{
			if (c->isTemporary())
				continue;
			if (DataComponentBase* existing = findSameKind(*c))
			{
				existing->assign(*c);
				continue;
			}
			auto copy = c->clone();
			if (auto* withParent = dynamic_cast<DataComponentWithParentInterface*>(copy.get()))
				withParent->setParent(m_owner);
			m_components.push_back(std::move(copy));
		}
	}

	DataComponentBase* DataComponentList::findSameKind(const DataComponentBase& component) const
	{
		for (const auto& existing : m_components)
			if (sameKind(*existing, component))
				return existing.get();
		return nullptr;
	}

	DataComponentBase* DataComponentList::add(std::unique_ptr<DataComponentBase> component)
	{
		if (!component)
			return nullptr;
		if (DataComponentBase* existing = findSameKind(*component))
		{
			existing->assign(*component);
			return existing;
		}
		if (auto* withParent = dynamic_cast<DataComponentWithParentInterface*>(component.get()))
			withParent->setParent(m_owner);
		m_components.push_back(std::move(component));
		signalChanged.emitSignal();
		return m_components.back().get();
	}

	std::unique_ptr<DataComponentBase> DataComponentList::remove(const DataComponentBase* component)
	{
		auto it = std::find_if(m_components.begin(), m_components.end(), [&](const auto& c) { return c.get() == component; });
		if (it == m_components.end())
			return nullptr;
		auto removed = std::move(*it);
		m_components.erase(it);
		signalChanged.emitSignal();
		return removed;
	}

	std::vector<DataComponentBase*> DataComponentList::all() const
	{
		std::vector<DataComponentBase*> out;
		out.reserve(m_components.size());
		for (const auto& c : m_components)
			out.push_back(c.get());
		return out;
	}

	DataComponentBase* DataComponentList::find(const std::type_info& type) const
	{
		for (const auto& c : m_components)
		{
			const DataComponentBase& component = *c;
			if (typeid(component) == type)
				return c.get();
		}
		return nullptr;
	}
}
