#pragma once

#include "host/core/NotCopyable.h"
#include "host/core/Properties.h"
#include "host/lib/Data.h"

#include <memory>
#include <string>
#include <vector>

namespace Quorvale
{
	class InteractiveObject;

	/// Lets the host describe, clone and annotate data of a type it does not know. A plug-in registers
	/// one per family of data types through `FactoryRegistry`; the host asks every registered factory
	/// and takes the first answer. Every operation answers "not mine" (empty or null) by default, so a
	/// factory overrides only what its types offer.
	class DataAnnotationFactory : public Utils::NotCopyable
	{
	public:
		DataAnnotationFactory() = default;
		virtual ~DataAnnotationFactory();

		/// A new annotation of the given name on `data` (owned by the caller), or null when not offered.
		virtual InteractiveObject* createDataAnnotation(const std::string& annotationName, Data* data);
		/// Names of the annotations that `createDataAnnotation` can make on `data`.
		virtual std::vector<std::string> compatibleDataAnnotations(const Data* data);
		/// One line describing `data` for the data model's list, or empty when `data` is not this factory's.
		virtual std::string dataDescription(const Data* data);
		/// Path of the icon shown next to `data`, or empty.
		virtual std::string dataIconPath(const Data* data);
		/// Extra attributes of `data` to show in the data model (empty by default).
		virtual Properties dataAttributes(const Data* data);
		/// A deep copy of `data`, or null when `data` is null or not this factory's.
		virtual std::unique_ptr<Data> cloneData(const Data* data);
	};
}
