#pragma once

#include "host/core/NotCopyable.h"
#include "host/lib/AlgorithmControllerFactory.h"
#include "host/lib/AlgorithmFactory.h"
#include "host/lib/DataAnnotationFactory.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Quorvale
{
	class Data;

	/// The process-wide list of the factories that plug-ins register in their `init`. It owns the
	/// factories and is never destroyed: their code lives in plug-in libraries, which stay mapped
	/// until the process ends, and destroying them during exit would race the libraries' own statics.
	class FactoryRegistry : public Utils::NotCopyable
	{
	public:
		/// The registry of this process.
		static FactoryRegistry& get();

		/// Takes ownership of a plug-in's factories; a null factory is skipped. Factories are kept and
		/// asked in registration order (an algorithm factory that asks for it goes to the front).
		void registerFactories(std::unique_ptr<AlgorithmFactory> algorithmFactory,
		                       std::unique_ptr<AlgorithmControllerFactory> controllerFactory,
		                       std::unique_ptr<DataAnnotationFactory> annotationFactory);

		/// The registered factories in the order they are asked (they live as long as the process).
		std::vector<AlgorithmFactory*> getAlgorithmFactories() const;
		std::vector<AlgorithmControllerFactory*> getAlgorithmControllerFactories() const;

		/// The descriptor of the algorithm with that identifier, with its factory. With `allowShortId`
		/// an identifier without the factory name ("MinimumSpanningTree") is accepted when exactly one
		/// factory knows it. Both null when nothing matches.
		std::pair<const AlgorithmFactory*, const AlgorithmFactory::Descriptor*> findAlgorithm(const std::string& id,
		                                                                                      bool allowShortId = false) const;
		/// The first panel a controller factory gives for the algorithm (owned by the caller), or null.
		AlgorithmController* createController(Algorithm* algorithm) const;

		/// The registered annotation factories in registration order (they live as long as the process).
		std::vector<DataAnnotationFactory*> annotationFactories() const;

		/// The first non-empty `dataDescription` of the annotation factories, else `data.describe()`.
		std::string describeData(const Data& data) const;
		/// The first clone an annotation factory gives, or null when no factory knows the type.
		std::unique_ptr<Data> cloneData(const Data& data) const;

	private:
		FactoryRegistry() = default;
		~FactoryRegistry() = default;

		mutable std::mutex m_mutex;
		std::vector<std::unique_ptr<AlgorithmFactory>> m_algorithmFactories;
		std::vector<std::unique_ptr<AlgorithmControllerFactory>> m_controllerFactories;
		std::vector<std::unique_ptr<DataAnnotationFactory>> m_annotationFactories;
	};
}
