#pragma once

#include <memory>

class QWidget;

namespace Quorvale
{
	class Data;

	namespace GUI
	{
		class View;

		/// What a display-options widget calls after it changed how data is drawn: the window's views
		/// schedule a repaint (they never paint synchronously).
		class UpdateHook
		{
		public:
			virtual ~UpdateHook() = default;
			virtual void requestUpdate() = 0;
		};
	}

	/// Shows data of one type in the host's views: decides in which views it may appear, adds drawable
	/// objects to them and removes them again, and offers an editor of the data's display options.
	/// Handlers are created through `DataDisplayHandlerFactory` and live on the GUI thread.
	class DataDisplayHandler
	{
	public:
		virtual ~DataDisplayHandler() = default;

		/// True when the handler shows data of this type.
		virtual bool canHandle(const Data* data) const = 0;
		/// True when the data may be shown in this view.
		virtual bool canShowIn(const Data* data, const GUI::View* view) const = 0;
		/// Shows the data in the view.
		virtual void show(Data* data, GUI::View* view) = 0;
		/// Removes the data from the view.
		virtual void hide(Data* data, GUI::View* view) = 0;
		/// The view is about to be destroyed: forget it (its objects go with it).
		virtual void viewRemoved(GUI::View* view) = 0;
		/// An editor of the data's display options, or null. `update` is called after each change the
		/// editor makes; `context` is passed through for the handler's own use.
		virtual std::unique_ptr<QWidget> createOptionsWidget(Data* data, GUI::UpdateHook* update, void* context) = 0;
	};
}
