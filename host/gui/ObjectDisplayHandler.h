#pragma once

#include "host/core/Signal.h"
#include "host/gui/DataDisplayHandler.h"

#include <map>
#include <memory>
#include <set>

namespace Quorvale
{
	class GlObject;

	/// The host's way of showing a data type: one drawable object per shown item, made at its first
	/// `show`, added to each view that shows it and destroyed when the last such view lets it go, when
	/// the item is deleted, or with the handler. No options editor. Subclasses say which data they take,
	/// where it fits and make the object.
	class ObjectDisplayHandler : public DataDisplayHandler
	{
	public:
		ObjectDisplayHandler();
		/// Removes every object from the views still showing it, then destroys it.
		~ObjectDisplayHandler() override;

		void show(Data* data, GUI::View* view) override;
		void hide(Data* data, GUI::View* view) override;
		void viewRemoved(GUI::View* view) override;
		std::unique_ptr<QWidget> createOptionsWidget(Data* data, GUI::UpdateHook* update, void* context) override;

		/// The object of a shown item, or null.
		GlObject* object(const Data* data) const;
		/// The views showing the item.
		std::set<GUI::View*> viewsOf(const Data* data) const;

	protected:
		/// The drawable object for an item that `canHandle` took.
		virtual std::unique_ptr<GlObject> createObject(Data& data) const = 0;

	private:
		struct Entry
		{
			std::set<GUI::View*> views;
			std::unique_ptr<GlObject> object;
		};

		/// Removes the item's object from its views and forgets the entry.
		void erase(const Data* data);

		std::map<const Data*, Entry> m_entries;
		SignalReceiver m_receiver; ///< forgets an item when it is deleted
	};
}
