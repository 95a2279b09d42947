#include "host/lib/FactoryRegistry.h"

#include "host/lib/Data.h"

namespace Quorvale
{
	FactoryRegistry& FactoryRegistry::get()
	{
		static FactoryRegistry* registry = new FactoryRegistry;
		return *registry;
	}

	void FactoryRegistry::registerFactories(std::unique_ptr<DataAnnotationFactory> annotationFactory)
	{
		std::lock_guard lock(m_mutex);
		if (annotationFactory)
			m_annotationFactories.push_back(std::move(annotationFactory));
	}

	std::vector<DataAnnotationFactory*> FactoryRegistry::annotationFactories() const
	{
		std::lock_guard lock(m_mutex);
		std::vector<DataAnnotationFactory*> out;
		out.reserve(m_annotationFactories.size());
		for (const auto& factory : m_annotationFactories)
			out.push_back(factory.get());
		return out;
	}

	std::string FactoryRegistry::describeData(const Data& data) const
	{
		// Factories are asked without the lock held: a factory may itself consult the registry.
		for (DataAnnotationFactory* factory : annotationFactories())
		{
			std::string description = factory->dataDescription(&data);
			if (!description.empty())
				return description;
		}
		return data.describe();
	}

	std::unique_ptr<Data> FactoryRegistry::cloneData(const Data& data) const
	{
		for (DataAnnotationFactory* factory : annotationFactories())
			if (auto clone = factory->cloneData(&data))
				return clone;
		return nullptr;
	}
}
