#pragma once

#include "host/core/Log.h"

#include <QWidget>

#include <memory>
#include <vector>

class QAction;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QScrollArea;
class QSplitter;
class QStatusBar;
class QVBoxLayout;

namespace Quorvale
{
	class Data;
	class DataController;
	class DataModel;
	class DisplayWidgetMulti;
	class WindowMenus;

	/// The window of `quorvale view`: the data list, the multi-view display, the data panel of the
	/// selection and the display options of the selected item. The data model must outlive the window.
	/// The list's ticks say what the display shows (one image at a time); repeated names are told apart
	/// by a number ("Graph", "Graph 2"); Delete or the list's context menu removes the selected data
	/// after asking. The log panel lists the records of every run at information level and above and
	/// what each run made or changed; the status line holds that line with the run's warnings.
	///
	/// The views keep at least half the window's width: the side with the panels scrolls where it is
	/// narrower than its content.
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
		QPlainTextEdit* logPanel() const { return m_log; }
		QStatusBar* statusLine() const { return m_status; }

		/// Shows the log of a run: its records at information level and above in the log panel, then
		/// `outcome` (what the run made or changed, or why it failed); `outcome` followed by the run's
		/// warnings (and errors, when `outcome` does not hold them) in the status line.
		void showRunLog(const std::vector<Log::Record>& records, const std::string& outcome);

		/// The text of the data's entry in the list (empty for data not listed).
		QString labelOf(const Data* data) const;
		/// Puts `replacement` in the place of `data` (which the model holds): the same row, text, tick and
		/// selection. The replacement takes the display settings of `data` (its components) and its
		/// temporary components (colour tables, legends); `data` is taken out of the model and deleted.
		/// Returns the replacement.
		Data* replaceData(Data* data, std::unique_ptr<Data> replacement);

		/// The selected data, in list order.
		std::vector<Data*> selectedData() const;
		/// Ticks (shows) or unticks the data's entry.
		void setShown(Data* data, bool shown);

		/// Lists the data, shows the first image set under everything and every other item that a
		/// display handler takes.
		void showAll();

		/// Asks whether to remove the selected data and removes it from the model; false when nothing
		/// was selected or the user declined.
		bool removeSelectedData();
		/// The action that removes the selected data (in the list's context menu).
		QAction* removeAction() const { return m_removeAction; }

	protected:
		/// Delete in the data list removes the selected data.
		bool eventFilter(QObject* watched, QEvent* event) override;
		/// Keeps the views at least half the window's width.
		void resizeEvent(QResizeEvent* event) override;

	private:
		/// Gives the panels the width they need (or at least what they have) within what the views
		/// leave of the window's width, narrowing the list first.
		void arrangeSplitter();
		void addItem(Data* data);
		void removeItem(Data* data);
		void onItemChanged(QListWidgetItem* item);
		void onSelectionChanged();
		void updatePanel(const std::vector<Data*>& selected);
		/// Ticks exactly the items the display shows.
		void syncTicks();
		/// `name`, or with the smallest number from 2 that no other item's text has.
		QString uniqueLabel(const QString& name) const;

		DataModel& m_model;
		DisplayWidgetMulti* m_display;
		QListWidget* m_list;
		QSplitter* m_splitter;
		QScrollArea* m_sideArea = nullptr;
		QAction* m_removeAction;
		QVBoxLayout* m_side;
		QPlainTextEdit* m_log;
		QStatusBar* m_status;
		DataController* m_panel = nullptr;
		WindowMenus* m_menus = nullptr;
		std::unique_ptr<QWidget> m_options;
		/// Selection changes during `replaceData` wait for its end.
		bool m_replacing = false;
		/// The splitter got its first sizes.
		bool m_splitterPlaced = false;
		struct Receiver;
		std::unique_ptr<Receiver> m_receiver;
	};
}
