#pragma once

#include "host/core/Signal.h"
#include "host/lib/DataList.h"

#include <memory>
#include <vector>

namespace Quorvale
{
	class Data;

	/// The data objects the host holds, in the order they were added. The model owns them; views and
	/// panels refer to them and learn through `signalAboutToRemove` that one goes, before it is deleted.
	class DataModel
	{
	public:
		DataModel() = default;
		DataModel(const DataModel&) = delete;
		DataModel& operator=(const DataModel&) = delete;
		/// Removes (and so announces) every object, last first.
		~DataModel();

		/// Takes the object and returns it (null is ignored and gives null).
		Data* add(std::unique_ptr<Data> data);
		/// Announces the object's removal, then takes it out and returns it (null when it is not held).
		std::unique_ptr<Data> take(Data* data);
		/// Announces, takes out and deletes the object; false when it is not held.
		bool remove(Data* data);

		bool contains(const Data* data) const;
		int size() const { return static_cast<int>(m_items.size()); }
		/// The objects in model order; a non-zero `kind` or `modality` keeps only the objects reporting it.
		DataList getAll(int kind = 0, int modality = 0) const;

		/// An object was added.
		Signal<Data*> signalAdded;
		/// An object is about to leave the model (it is still valid while the signal runs).
		Signal<Data*> signalAboutToRemove;

	private:
		std::vector<std::unique_ptr<Data>> m_items;
	};
}
