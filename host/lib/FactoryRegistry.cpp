#include "host/lib/FactoryRegistry.h"

#include "host/lib/Data.h"

namespace Quorvale
{
	FactoryRegistry& FactoryRegistry::get()
	{
		static FactoryRegistry* registry = new FactoryRegistry;
		return *registry;
	}

	void FactoryRegistry::registerFactories(std::unique_ptr<AlgorithmFactory> algorithmFactory,
	                                        std::unique_ptr<AlgorithmControllerFactory> controllerFactory,
	                                        std::unique_ptr<DataAnnotationFactory> annotationFactory)
	{
		std::lock_guard lock(m_mutex);
		if (algorithmFactory)
		{
			if (algorithmFactory->addAlgorithmFactoryToFront())
				m_algorithmFactories.insert(m_algorithmFactories.begin(), std::move(algorithmFactory));
			else
				m_algorithmFactories.push_back(std::move(algorithmFactory));
		}
		if (controllerFactory)
			m_controllerFactories.push_back(std::move(controllerFactory));
		if (annotationFactory)
			m_annotationFactories.push_back(std::move(annotationFactory));
	}

	std::vector<AlgorithmFactory*> FactoryRegistry::getAlgorithmFactories() const
	{
		std::lock_guard lock(m_mutex);
		std::vector<AlgorithmFactory*> out;
		for (const auto& factory : m_algorithmFactories)
			out.push_back(factory.get());
		return out;
	}

	std::vector<AlgorithmControllerFactory*> FactoryRegistry::getAlgorithmControllerFactories() const
	{
		std::lock_guard lock(m_mutex);
		std::vector<AlgorithmControllerFactory*> out;
		for (const auto& factory : m_controllerFactories)
			out.push_back(factory.get());
		return out;
	}

	std::pair<const AlgorithmFactory*, const AlgorithmFactory::Descriptor*> FactoryRegistry::findAlgorithm(const std::string& id,
	                                                                                                       bool allowShortId) const
	{
		const auto factories = getAlgorithmFactories();
		for (const AlgorithmFactory* factory : factories)
			if (const auto* descriptor = factory->algorithmDescriptor(id))
				return {factory, descriptor};
		if (!allowShortId)
			return {nullptr, nullptr};
		std::pair<const AlgorithmFactory*, const AlgorithmFactory::Descriptor*> found{nullptr, nullptr};
		for (const AlgorithmFactory* factory : factories)
			if (const auto* descriptor = factory->algorithmDescriptor(id, true))
			{
				if (found.second)
					return {nullptr, nullptr}; // ambiguous
				found = {factory, descriptor};
			}
		return found;
	}

	AlgorithmController* FactoryRegistry::createController(Algorithm* algorithm) const
	{
		for (const AlgorithmControllerFactory* factory : getAlgorithmControllerFactories())
			if (AlgorithmController* controller = factory->create(algorithm))
				return controller;
		return nullptr;
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
