#pragma once

#include <QWidget>

#include <memory>

class QListWidget;
class QListWidgetItem;
class QVBoxLayout;

namespace Quorvale
{
	class Data;
	class DataController;
	class DataModel;
	class DisplayWidgetMulti;
	class WindowMenus;

	/// The window of `quorvale view`: the data list (ticked items are shown), the multi-view display, the
	/// data panel of the selection and the display options of the selected item. The data model must
	/// outlive the window.
	class ViewWindow : public QWidget
	{
	public:
		explicit ViewWindow(DataModel& model, QWidget* parent = nullptr);
		~ViewWindow() override;

		DisplayWidgetMulti* display() const { return m_display; }
		QListWidget* dataList() const { return m_list; }
		DataController* dataPanel() const { return m_panel; }
		QWidget* optionsWidget() const { return m_options.get(); }
		/// The menus and the algorithm they opened.
		WindowMenus* menus() const { return m_menus; }

		/// The selected data, in list order.
		std::vector<Data*> selectedData() const;
		/// Ticks (shows) or unticks the data's entry.
		void setShown(Data* data, bool shown);

		/// Lists the data, shows the first image set under everything and every other item that a
		/// display handler takes.
		void showAll();

	private:
		void addItem(Data* data);
		void removeItem(Data* data);
		void onItemChanged(QListWidgetItem* item);
		void onSelectionChanged();
		void updatePanel(const std::vector<Data*>& selected);

		DataModel& m_model;
		DisplayWidgetMulti* m_display;
		QListWidget* m_list;
		QVBoxLayout* m_side;
		DataController* m_panel = nullptr;
		WindowMenus* m_menus = nullptr;
		std::unique_ptr<QWidget> m_options;
		struct Receiver;
		std::unique_ptr<Receiver> m_receiver;
	};
}
