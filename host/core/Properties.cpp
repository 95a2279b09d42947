#include "host/core/Properties.h"

#include <algorithm>

namespace Quorvale
{
	struct Properties::Impl
	{
		std::string name;
		std::vector<Param> params;
		std::vector<std::pair<std::string, std::string>> attributes;
		std::vector<Properties> subProperties;
	};

	namespace
	{
		const std::string kEmptyName;
		const std::vector<Properties::Param> kNoParams;
		const std::vector<std::pair<std::string, std::string>> kNoAttributes;

		bool attributesEqual(const std::vector<std::pair<std::string, std::string>>& a,
		                     const std::vector<std::pair<std::string, std::string>>& b)
		{
			if (a.size() != b.size())
				return false;
			// Attributes are compared as sets of key/value pairs: their order carries no meaning.
			for (const auto& entry : a)
				if (std::find(b.begin(), b.end(), entry) == b.end())
					return false;
			return true;
		}
	}

	Properties::Properties() = default;

	Properties::Properties(std::string name)
	{
		if (!name.empty())
			impl().name = std::move(name);
	}

	Properties::Properties(const Properties& other)
	    : m_impl(other.m_impl ? std::make_unique<Impl>(*other.m_impl) : nullptr)
	{
	}

	Properties::Properties(Properties&& other) noexcept = default;

	Properties& Properties::operator=(const Properties& other)
	{
		if (this != &other)
			m_impl = other.m_impl ? std::make_unique<Impl>(*other.m_impl) : nullptr;
		return *this;
	}

	Properties& Properties::operator=(Properties&& other) noexcept = default;

	Properties::~Properties() = default;

	Properties::Impl& Properties::impl()
	{
		if (!m_impl)
			m_impl = std::make_unique<Impl>();
		return *m_impl;
	}

	const std::string& Properties::name() const { return m_impl ? m_impl->name : kEmptyName; }

	void Properties::setName(const std::string& name)
	{
		if (name.empty() && !m_impl)
			return;
		impl().name = name;
	}

	bool Properties::isEmpty() const
	{
		return !m_impl || (m_impl->name.empty() && m_impl->params.empty() && m_impl->attributes.empty() && m_impl->subProperties.empty());
	}

	void Properties::clear() { m_impl.reset(); }

	bool Properties::hasParam(const std::string& name) const { return findParam(name) != nullptr; }

	std::vector<std::string> Properties::paramNames() const
	{
		std::vector<std::string> names;
		for (const auto& p : params())
			names.push_back(p.name);
		return names;
	}

	const std::vector<Properties::Param>& Properties::params() const { return m_impl ? m_impl->params : kNoParams; }

	const Properties::Param* Properties::findParam(const std::string& name) const
	{
		if (!m_impl)
			return nullptr;
		for (const auto& p : m_impl->params)
			if (p.name == name)
				return &p;
		return nullptr;
	}

	Properties::Param* Properties::findParamMutable(const std::string& name) { return const_cast<Param*>(findParam(name)); }

	void Properties::setParamValue(const std::string& name, PropertyValue value)
	{
		if (Param* p = findParamMutable(name))
		{
			p->value = std::move(value);
			return;
		}
		Param p;
		p.name = name;
		p.value = std::move(value);
		impl().params.push_back(std::move(p));
	}

	void Properties::appendParam(Param param) { impl().params.push_back(std::move(param)); }

	void Properties::setParamDefault(const std::string& name, std::optional<PropertyValue> defaultValue)
	{
		if (Param* p = findParamMutable(name))
			p->defaultValue = std::move(defaultValue);
	}

	bool Properties::removeParam(const std::string& name)
	{
		if (!m_impl)
			return false;
		auto& params = m_impl->params;
		auto it = std::find_if(params.begin(), params.end(), [&](const Param& p) { return p.name == name; });
		if (it == params.end())
			return false;
		params.erase(it);
		return true;
	}

	void Properties::setParamType(const std::string& name, PropertiesDetail::ParamType type)
	{
		if (Param* p = findParamMutable(name))
			p->type = type;
	}

	PropertiesDetail::ParamType Properties::paramType(const std::string& name) const
	{
		const Param* p = findParam(name);
		return p ? p->type : PropertiesDetail::ParamType::Default;
	}

	void Properties::setParamAttribute(const std::string& name, const std::string& attribute, const std::string& value)
	{
		Param* p = findParamMutable(name);
		if (!p)
			return;
		for (auto& [key, text] : p->attributes)
			if (key == attribute)
			{
				text = value;
				return;
			}
		p->attributes.emplace_back(attribute, value);
	}

	std::optional<std::string> Properties::paramAttribute(const std::string& name, const std::string& attribute) const
	{
		if (const Param* p = findParam(name))
			for (const auto& [key, text] : p->attributes)
				if (key == attribute)
					return text;
		return std::nullopt;
	}

	void Properties::setAttribute(const std::string& attribute, const std::string& value)
	{
		for (auto& [key, text] : impl().attributes)
			if (key == attribute)
			{
				text = value;
				return;
			}
		impl().attributes.emplace_back(attribute, value);
	}

	void Properties::appendAttribute(std::string attribute, std::string value)
	{
		impl().attributes.emplace_back(std::move(attribute), std::move(value));
	}

	std::optional<std::string> Properties::attribute(const std::string& attribute) const
	{
		for (const auto& [key, text] : attributes())
			if (key == attribute)
				return text;
		return std::nullopt;
	}

	const std::vector<std::pair<std::string, std::string>>& Properties::attributes() const
	{
		return m_impl ? m_impl->attributes : kNoAttributes;
	}

	Properties* Properties::subProperties(const std::string& name)
	{
		return const_cast<Properties*>(static_cast<const Properties*>(this)->subProperties(name));
	}

	const Properties* Properties::subProperties(const std::string& name) const
	{
		if (!m_impl)
			return nullptr;
		for (const auto& sub : m_impl->subProperties)
			if (sub.name() == name)
				return &sub;
		return nullptr;
	}

	std::vector<Properties*> Properties::allSubProperties()
	{
		std::vector<Properties*> out;
		if (m_impl)
			for (auto& sub : m_impl->subProperties)
				out.push_back(&sub);
		return out;
	}

	std::vector<const Properties*> Properties::allSubProperties() const
	{
		std::vector<const Properties*> out;
		if (m_impl)
			for (const auto& sub : m_impl->subProperties)
				out.push_back(&sub);
		return out;
	}

	Properties& Properties::addSubProperties(Properties sub)
	{
		auto& subs = impl().subProperties;
		subs.push_back(std::move(sub));
		return subs.back();
	}

	Properties& Properties::addSubProperties(const std::string& name) { return addSubProperties(Properties(name)); }

	Properties& Properties::getOrAddSubProperties(const std::string& name)
	{
		if (Properties* existing = subProperties(name))
			return *existing;
		return addSubProperties(name);
	}

	int Properties::removeSubProperties(const std::string& name)
	{
		if (!m_impl)
			return 0;
		auto& subs = m_impl->subProperties;
		const auto before = subs.size();
		subs.erase(std::remove_if(subs.begin(), subs.end(), [&](const Properties& p) { return p.name() == name; }), subs.end());
		return static_cast<int>(before - subs.size());
	}

	bool Properties::compareWith(const Properties& other, unsigned flags) const
	{
		if ((flags & CompareNames) && name() != other.name())
			return false;
		if ((flags & CompareAttributes) && !attributesEqual(attributes(), other.attributes()))
			return false;
		const auto& mine = params();
		const auto& theirs = other.params();
		if (mine.size() != theirs.size())
			return false;
		for (const Param& p : mine)
		{
			const Param* q = other.findParam(p.name);
			if (!q)
				return false;
			if ((flags & CompareValues) && !PropertiesDetail::valuesEqual(p.value, q->value))
				return false;
			if (flags & CompareDefaults)
			{
				if (p.defaultValue.has_value() != q->defaultValue.has_value())
					return false;
				if (p.defaultValue && !PropertiesDetail::valuesEqual(*p.defaultValue, *q->defaultValue))
					return false;
			}
			if ((flags & CompareTypes) && p.type != q->type)
				return false;
			if ((flags & CompareAttributes) && !attributesEqual(p.attributes, q->attributes))
				return false;
		}
		if (flags & CompareSubProperties)
		{
			const auto subsA = allSubProperties();
			const auto subsB = other.allSubProperties();
			if (subsA.size() != subsB.size())
				return false;
			for (size_t i = 0; i < subsA.size(); ++i)
				if (!subsA[i]->compareWith(*subsB[i], flags | CompareNames))
					return false;
		}
		return true;
	}
}
