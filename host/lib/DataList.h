#pragma once

#include <memory>
#include <vector>

namespace Quorvale
{
	class Data;
	class Graph;
	class SharedImageSet;

	/// A non-owning, ordered selection of data objects, as the host hands it to algorithms.
	class DataList
	{
	public:
		DataList() = default;
		DataList(std::initializer_list<Data*> items);
		explicit DataList(std::vector<Data*> items);

		int size() const { return static_cast<int>(m_items.size()); }
		bool isEmpty() const { return m_items.empty(); }
		/// Appends the object (null is ignored).
		void add(Data* data);
		Data* get(int index) const { return m_items.at(static_cast<size_t>(index)); }
		const std::vector<Data*>& items() const { return m_items; }

		/// The items whose dynamic type is `T` or derived from it, in list order; when `kind` is not
		/// 0, items of another kind are skipped.
		template <typename T>
		std::vector<T*> getAll(int kind = 0) const;

		/// The graphs of the list (see `getAll`). Defined in the graph plug-in, in src/graph/Graph.cpp,
		/// beside the `Graph` type it owns: the host libraries do not know that type.
		static std::vector<Graph*> getGraphs(const DataList& list, int kind = 0);

		/// The image sets of the list, in list order; a non-zero `kind` or `modality` keeps only the
		/// sets that report it (an image set reports kind `Data::ImageSet`).
		std::vector<SharedImageSet*> getImages(int kind = 0, int modality = 0) const;

	private:
		std::vector<Data*> m_items;
	};

	/// An owning, ordered list of data objects: how algorithms hand their results to the host.
	class OwningDataList
	{
	public:
		OwningDataList() = default;
		OwningDataList(OwningDataList&&) = default;
		OwningDataList& operator=(OwningDataList&&) = default;
		~OwningDataList();

		/// Appends the object; null is ignored.
		void add(std::unique_ptr<Data> data);
		/// Appends every object of `items` in order (null ones are ignored) and empties `items`.
		template <typename T>
		void addAll(std::vector<std::unique_ptr<T>>& items)
		{
			for (auto& item : items)
				add(std::move(item));
			items.clear();
		}
		int size() const { return static_cast<int>(m_items.size()); }
		bool isEmpty() const { return m_items.empty(); }
		Data* get(int index) const { return m_items.at(static_cast<size_t>(index)).get(); }
		/// A non-owning view of the items.
		DataList asDataList() const;
		/// Removes and returns all items in order.
		std::vector<std::unique_ptr<Data>> extractAll();
		/// Removes and returns the first item of type `T`, or null.
		template <typename T>
		std::unique_ptr<T> extractFirst();
		/// Removes and returns the first image set that matches `kind` and `modality` as in
		/// `DataList::getImages`, or null.
		std::unique_ptr<SharedImageSet> extractFirstImage(int kind = 0, int modality = 0);

	private:
		std::vector<std::unique_ptr<Data>> m_items;
	};
}

#include "host/lib/Data.h"

template <typename T>
std::vector<T*> Quorvale::DataList::getAll(int kind) const
{
	std::vector<T*> out;
	for (Data* d : m_items)
	{
		if (!d || (kind != 0 && d->kind() != kind))
			continue;
		if (auto* t = dynamic_cast<T*>(d))
			out.push_back(t);
	}
	return out;
}

template <typename T>
std::unique_ptr<T> Quorvale::OwningDataList::extractFirst()
{
	for (auto it = m_items.begin(); it != m_items.end(); ++it)
	{
		if (dynamic_cast<T*>(it->get()))
		{
			std::unique_ptr<T> out(static_cast<T*>(it->release()));
			m_items.erase(it);
			return out;
		}
	}
	return nullptr;
}
