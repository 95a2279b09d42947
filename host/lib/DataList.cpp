#include "host/lib/DataList.h"

#include "host/lib/SharedImageSet.h"

namespace Quorvale
{
	DataList::DataList(std::initializer_list<Data*> items)
	{
		for (Data* d : items)
			add(d);
	}

	DataList::DataList(std::vector<Data*> items)
	{
		for (Data* d : items)
			add(d);
	}

	void DataList::add(Data* data)
	{
		if (data)
			m_items.push_back(data);
	}

	namespace
	{
		bool matchesImageFilter(const Data* data, int kind, int modality)
		{
			return dynamic_cast<const SharedImageSet*>(data) && (kind == 0 || data->kind() == kind) &&
			       (modality == 0 || data->modality() == modality);
		}
	}

	std::vector<SharedImageSet*> DataList::getImages(int kind, int modality) const
	{
		std::vector<SharedImageSet*> out;
		for (Data* d : m_items)
			if (matchesImageFilter(d, kind, modality))
				out.push_back(static_cast<SharedImageSet*>(d));
		return out;
	}

	OwningDataList::~OwningDataList() = default;

	void OwningDataList::add(std::unique_ptr<Data> data)
	{
		if (data)
			m_items.push_back(std::move(data));
	}

	DataList OwningDataList::asDataList() const
	{
		DataList list;
		for (const auto& d : m_items)
			list.add(d.get());
		return list;
	}

	std::unique_ptr<SharedImageSet> OwningDataList::extractFirstImage(int kind, int modality)
	{
		for (auto it = m_items.begin(); it != m_items.end(); ++it)
		{
			if (matchesImageFilter(it->get(), kind, modality))
			{
				std::unique_ptr<SharedImageSet> out(static_cast<SharedImageSet*>(it->release()));
				m_items.erase(it);
				return out;
			}
		}
		return nullptr;
	}

	std::vector<std::unique_ptr<Data>> OwningDataList::extractAll()
	{
		auto out = std::move(m_items);
		m_items.clear();
		return out;
	}
}
