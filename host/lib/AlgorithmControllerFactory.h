#pragma once

#include "host/core/NotCopyable.h"
#include "host/core/String.h"
#include "host/lib/AlgorithmUtils.h"
#include "host/lib/DataList.h"

#include <functional>
#include <map>
#include <string>
#include <typeindex>
#include <vector>

namespace Quorvale
{
	class Algorithm;
	class AlgorithmController;
	class DataController;

	/// Gives algorithms their panels (controllers) and lists the data panels a plug-in offers.
	/// Data panel classes `T` provide `static bool T::createCompatible(const DataList&, DataController** out)`.
	class AlgorithmControllerFactory : public Utils::NotCopyable
	{
	public:
		/// A data-panel creator: (selection, requested name, out) -> the panel's name when it accepts
		/// the selection (creating the panel into `out` when asked), else the empty string.
		using DataControllerCreator = std::function<std::string(const DataList&, const std::string&, DataController**)>;

		explicit AlgorithmControllerFactory(std::string name);
		virtual ~AlgorithmControllerFactory();

		const std::string& name() const { return m_name; }

		/// A new panel for the algorithm, owned by the caller, or null when it has none.
		virtual AlgorithmController* create(Algorithm* algorithm) const = 0;

		/// Names of the data panels that accept the selection, in registration order.
		virtual std::vector<std::string> compatibleDataControllers(const DataList& data) const;
		/// Creates the data panel of that name for the selection; null when unknown or incompatible.
		DataController* createDataController(const std::string& name, const DataList& data) const;
		/// Names of all registered data panels.
		std::vector<std::string> dataControllerNames() const;
		/// The name registered for the panel class of `T`, or empty.
		template <typename T>
		std::string dataControllerName() const
		{
			auto it = m_classNames.find(std::type_index(typeid(T)));
			return it == m_classNames.end() ? std::string() : it->second;
		}

	protected:
		/// Registers the data panel `T` under `name`, unless a registered factory already lists a panel
		/// whose parsed, lower-case name is the same (then the registration is dropped silently).
		template <typename T>
		void registerDataController(const std::string& name);

	private:
		bool isNameTaken(const std::string& name) const;

		std::string m_name;
		std::vector<std::pair<std::string, DataControllerCreator>> m_dataControllers;
		std::map<std::type_index, std::string> m_classNames;
	};

	template <typename T>
	void AlgorithmControllerFactory::registerDataController(const std::string& name)
	{
		if (isNameTaken(name))
			return;
		const std::string parsed = AlgorithmUtils::parseAlgorithmName(name, nullptr);
		m_dataControllers.emplace_back(name,
		                               [name, parsed](const DataList& data, const std::string& requested, DataController** out)
		                               {
			                               // Only the panel that was asked for is created; for other names just the compatibility is
			                               // tested.
			                               DataController** target = (requested == name || requested == parsed) ? out : nullptr;
			                               return T::createCompatible(data, target) ? name : std::string();
		                               });
		m_classNames[std::type_index(typeid(T))] = name;
	}
}
