#include "host/lib/DataModel.h"

#include "host/lib/Data.h"

#include <algorithm>

namespace Quorvale
{
	DataModel::~DataModel()
	{
		while (!m_items.empty())
			remove(m_items.back().get());
	}

	Data* DataModel::add(std::unique_ptr<Data> data)
	{
		if (!data)
			return nullptr;
		Data* added = data.get();
		m_items.push_back(std::move(data));
		signalAdded.emitSignal(added);
		return added;
	}

	std::unique_ptr<Data> DataModel::take(Data* data)
	{
		if (!contains(data))
			return nullptr;
		signalAboutToRemove.emitSignal(data);
		// A handler may itself have taken it out meanwhile.
		auto it = std::find_if(m_items.begin(), m_items.end(), [data](const auto& item) { return item.get() == data; });
		if (it == m_items.end())
			return nullptr;
		std::unique_ptr<Data> taken = std::move(*it);
		m_items.erase(it);
		return taken;
	}

	bool DataModel::remove(Data* data)
	{
		return take(data) != nullptr;
	}

	bool DataModel::contains(const Data* data) const
	{
		return data && std::any_of(m_items.begin(), m_items.end(), [data](const auto& item) { return item.get() == data; });
	}

	DataList DataModel::getAll(int kind, int modality) const
	{
		DataList list;
		for (const auto& item : m_items)
			if ((kind == 0 || item->kind() == kind) && (modality == 0 || item->modality() == modality))
				list.add(item.get());
		return list;
	}
}
