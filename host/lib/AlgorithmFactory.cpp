#include "host/lib/AlgorithmFactory.h"

#include <algorithm>

namespace Quorvale
{
	AlgorithmFactory::AlgorithmFactory(std::string name)
	    : m_name(std::move(name))
	{
	}

	AlgorithmFactory::~AlgorithmFactory() = default;

	bool AlgorithmFactory::appendDescriptor(Descriptor descriptor, std::type_index type)
	{
		for (const auto& d : m_descriptors)
			if (d.id == descriptor.id)
			{
				Log::log(Log::Warning, "AlgorithmFactory", "Algorithm already registered: " + descriptor.id);
				return false;
			}
		m_classIds[type] = descriptor.id;
		m_descriptors.push_back(std::move(descriptor));
		return true;
	}

	std::unique_ptr<Algorithm> AlgorithmFactory::finishCreation(std::unique_ptr<Algorithm> algorithm, const std::string& id,
	                                                            const std::string& menuName, const DataList& data)
	{
		if (!algorithm)
			return nullptr;
		const auto pieces = String::split(menuName, ";");
		algorithm->setFactoryInfo({id, pieces.empty() ? menuName : pieces.back(), data});
		if (auto* io = dynamic_cast<IoAlgorithm*>(algorithm.get()))
			io->configureFromGlobalSettings();
		return algorithm;
	}

	void AlgorithmFactory::reportCreationFailure(const std::string& menuName, const std::exception& e)
	{
		Log::log(Log::Error, "", "Cannot create algorithm " + menuName + ": " + e.what());
	}

	std::unique_ptr<Algorithm> AlgorithmFactory::instantiateAlgorithm(const std::string& id, const DataList& data) const
	{
		const Descriptor* d = algorithmDescriptor(id);
		return d ? d->create(data) : nullptr;
	}

	std::unique_ptr<IoAlgorithm> AlgorithmFactory::instantiateIoAlgorithm(const std::string& id, const DataList& data) const
	{
		const Descriptor* d = algorithmDescriptor(id);
		if (!d || !d->isIo)
			return nullptr;
		auto algorithm = d->create(data);
		if (auto* io = dynamic_cast<IoAlgorithm*>(algorithm.get()))
		{
			algorithm.release();
			return std::unique_ptr<IoAlgorithm>(io);
		}
		return nullptr;
	}

	std::vector<const AlgorithmFactory::Descriptor*> AlgorithmFactory::compatibleDescriptors(const DataList& data) const
	{
		std::vector<const Descriptor*> out;
		for (const auto& d : m_descriptors)
			if (d.isCompatible && d.isCompatible(data))
				out.push_back(&d);
		return out;
	}

	std::vector<const AlgorithmFactory::Descriptor*> AlgorithmFactory::compatibleIoDescriptors(const std::string& path) const
	{
		std::vector<const Descriptor*> out;
		for (const auto& d : m_descriptors)
		{
			if (!d.isIo)
				continue;
			auto reader = d.create(DataList());
			if (auto* io = dynamic_cast<IoAlgorithm*>(reader.get()); io && io->canLoad(path))
				out.push_back(&d);
		}
		return out;
	}

	std::vector<const AlgorithmFactory::Descriptor*> AlgorithmFactory::compatibleIoDescriptors(const DataList& data) const
	{
		std::vector<const Descriptor*> out;
		for (const auto& d : m_descriptors)
			if (d.isIo && d.isCompatible && d.isCompatible(data))
				out.push_back(&d);
		return out;
	}

	const AlgorithmFactory::Descriptor* AlgorithmFactory::algorithmDescriptor(const std::string& id, bool allowShortId) const
	{
		for (const auto& d : m_descriptors)
			if (d.id == id)
				return &d;
		if (allowShortId && !m_name.empty())
			for (const auto& d : m_descriptors)
				if (d.id == m_name + "." + id)
					return &d;
		return nullptr;
	}

	std::vector<const AlgorithmFactory::Descriptor*> AlgorithmFactory::algorithmDescriptors() const
	{
		std::vector<const Descriptor*> out;
		for (const auto& d : m_descriptors)
			out.push_back(&d);
		return out;
	}

	std::vector<const AlgorithmFactory::Descriptor*> AlgorithmFactory::ioAlgorithmDescriptors() const
	{
		std::vector<const Descriptor*> out;
		for (const auto& d : m_descriptors)
			if (d.isIo)
				out.push_back(&d);
		return out;
	}

	std::string AlgorithmFactory::identifierOf(const Algorithm& algorithm) const
	{
		auto it = m_classIds.find(std::type_index(typeid(algorithm)));
		return it == m_classIds.end() ? std::string() : it->second;
	}
}
