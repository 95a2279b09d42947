#include "host/gui/ObjectDisplayHandler.h"

#include "host/gl/GlObject.h"
#include "host/gui/GlView.h"
#include "host/gui/View.h"
#include "host/lib/Data.h"

#include <QWidget>

namespace Quorvale
{
	ObjectDisplayHandler::ObjectDisplayHandler() = default;

	ObjectDisplayHandler::~ObjectDisplayHandler()
	{
		for (auto& [data, entry] : m_entries)
			for (GUI::View* view : entry.views)
				view->glView()->removeObject(entry.object.get());
	}

	void ObjectDisplayHandler::show(Data* data, GUI::View* view)
	{
		if (!data || !view || !canHandle(data))
			return;
		Entry& entry = m_entries[data];
		if (!entry.object)
		{
			entry.object = createObject(*data);
			data->signalDeleted.connect(&m_receiver, [this](Data* gone) { erase(gone); });
		}
		entry.views.insert(view);
		view->glView()->addObject(entry.object.get());
	}

	void ObjectDisplayHandler::hide(Data* data, GUI::View* view)
	{
		auto it = m_entries.find(data);
		if (it == m_entries.end() || !view)
			return;
		view->glView()->removeObject(it->second.object.get());
		it->second.views.erase(view);
		if (it->second.views.empty())
			erase(data);
	}

	void ObjectDisplayHandler::erase(const Data* data)
	{
		auto it = m_entries.find(data);
		if (it == m_entries.end())
			return;
		for (GUI::View* view : it->second.views)
			view->glView()->removeObject(it->second.object.get());
		const_cast<Data*>(data)->signalDeleted.disconnect(&m_receiver);
		m_entries.erase(it);
	}

	void ObjectDisplayHandler::viewRemoved(GUI::View* view)
	{
		for (auto& [data, entry] : m_entries)
			entry.views.erase(view);
	}

	std::unique_ptr<QWidget> ObjectDisplayHandler::createOptionsWidget(Data*, GUI::UpdateHook*, void*) { return nullptr; }

	GlObject* ObjectDisplayHandler::object(const Data* data) const
	{
		auto it = m_entries.find(data);
		return it == m_entries.end() ? nullptr : it->second.object.get();
	}

	std::set<GUI::View*> ObjectDisplayHandler::viewsOf(const Data* data) const
	{
		auto it = m_entries.find(data);
		return it == m_entries.end() ? std::set<GUI::View*>() : it->second.views;
	}
}
