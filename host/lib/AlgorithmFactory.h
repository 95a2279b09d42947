#pragma once

#include "host/core/Log.h"
#include "host/core/NotCopyable.h"
#include "host/core/String.h"
#include "host/lib/Algorithm.h"
#include "host/lib/DataList.h"
#include "host/lib/IoAlgorithm.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

namespace Quorvale
{
	/// A named list of algorithms that a plug-in offers: for each an identifier, a menu name, a
	/// test whether it can run on a selection and a creator. Algorithm classes `T` provide
	/// `static bool T::createCompatible(const DataList& list, Algorithm** out)`.
	class AlgorithmFactory : public Utils::NotCopyable
	{
	public:
		struct Descriptor
		{
			std::string id;   ///< effective identifier: "<factory name>.<identifier>"
			std::string name; ///< menu path, parts separated by ";"
			std::uint32_t flags = 0;
			bool isIo = false; ///< the class is an `IoAlgorithm`
			std::function<std::unique_ptr<Algorithm>(const DataList&)> create;
			std::function<bool(const DataList&)> isCompatible;
		};

		explicit AlgorithmFactory(std::string name);
		virtual ~AlgorithmFactory();

		const std::string& name() const { return m_name; }

		/// Creates the algorithm with that effective identifier for the selection; null when unknown or incompatible.
		virtual std::unique_ptr<Algorithm> instantiateAlgorithm(const std::string& id, const DataList& data) const;
		/// The same for input/output algorithms; null for other classes.
		virtual std::unique_ptr<IoAlgorithm> instantiateIoAlgorithm(const std::string& id, const DataList& data) const;
		/// Descriptors of the algorithms that accept the selection, in registration order.
		virtual std::vector<const Descriptor*> compatibleDescriptors(const DataList& data) const;
		/// Input/output descriptors whose algorithm can read the file (by its extension).
		virtual std::vector<const Descriptor*> compatibleIoDescriptors(const std::string& path) const;
		/// Input/output descriptors that accept the selection (for writing it).
		virtual std::vector<const Descriptor*> compatibleIoDescriptors(const DataList& data) const;
		/// The descriptor with that identifier (the full one, or with `allowShortId` the part after
		/// the factory name), or null.
		virtual const Descriptor* algorithmDescriptor(const std::string& id, bool allowShortId = false) const;
		/// All descriptors in registration order.
		virtual std::vector<const Descriptor*> algorithmDescriptors() const;
		virtual std::vector<const Descriptor*> ioAlgorithmDescriptors() const;
		/// True when the host should search this factory before those registered earlier.
		virtual bool addAlgorithmFactoryToFront() const { return false; }

		/// The effective identifier registered for the class of `algorithm`, or empty.
		std::string identifierOf(const Algorithm& algorithm) const;

	protected:
		/// Registers class `T`. The effective identifier is "<factory name>.<id>" (just `id` for an
		/// unnamed factory); a second registration of the same identifier is refused with the
		/// warning "Algorithm already registered: <id>" (category "AlgorithmFactory").
		template <typename T>
		void registerAlgorithm(const std::string& id, const std::string& menuName);

		/// Creates a `T` for the selection through `T::createCompatible`. An exception from it is
		/// logged as "Cannot create algorithm <menu name>: <text>" and gives null.
		template <typename T>
		static std::unique_ptr<Algorithm> createAlgorithm(const std::string& id, const std::string& menuName, const DataList& data);

	private:
		bool appendDescriptor(Descriptor descriptor, std::type_index type);
		/// Gives the created algorithm its factory information and, for input/output algorithms,
		/// the global settings.
		static std::unique_ptr<Algorithm> finishCreation(std::unique_ptr<Algorithm> algorithm, const std::string& id,
		                                                 const std::string& menuName, const DataList& data);
		static void reportCreationFailure(const std::string& menuName, const std::exception& e);

		std::string m_name;
		std::vector<Descriptor> m_descriptors;
		std::map<std::type_index, std::string> m_classIds;
	};

	template <typename T>
	void AlgorithmFactory::registerAlgorithm(const std::string& id, const std::string& menuName)
	{
		const std::string effectiveId = m_name.empty() ? id : m_name + "." + id;
		Descriptor d;
		d.id = effectiveId;
		d.name = menuName;
		d.isIo = std::is_base_of_v<IoAlgorithm, T>;
		d.create = [effectiveId, menuName](const DataList& data) { return createAlgorithm<T>(effectiveId, menuName, data); };
		d.isCompatible = [](const DataList& data) { return T::createCompatible(data, nullptr); };
		appendDescriptor(std::move(d), std::type_index(typeid(T)));
	}

	template <typename T>
	std::unique_ptr<Algorithm> AlgorithmFactory::createAlgorithm(const std::string& id, const std::string& menuName, const DataList& data)
	{
		Algorithm* created = nullptr;
		try
		{
			T::createCompatible(data, &created);
		}
		catch (const std::exception& e)
		{
			// Whatever was stored before the exception is ours to free.
			std::unique_ptr<Algorithm> discard(created);
			reportCreationFailure(menuName, e);
			return nullptr;
		}
		return finishCreation(std::unique_ptr<Algorithm>(created), id, menuName, data);
	}
}
