#include "host/lib/DataList.h"

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

	std::vector<std::unique_ptr<Data>> OwningDataList::extractAll()
	{
		auto out = std::move(m_items);
		m_items.clear();
		return out;
	}
}
