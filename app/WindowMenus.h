#pragma once

#include <QObject>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace Quorvale
{
	class Algorithm;
	class AlgorithmController;
	class Data;
	class DataModel;
	class ViewWindow;

	/// The menus of the view window and the algorithm they open: "File" (open data files, save the
	/// selection) and one menu entry per registered algorithm, nested at every ";" of its menu name and
	/// disabled while the selection does not suit it. An opened algorithm shows its panel (from the
	/// controller factories) in the window's side; one without a panel runs at once. Compute runs on
	/// the GUI thread with a progress bar while the views take no input; its log goes to the window's log
	/// panel and status line (`ViewWindow::showRunLog`), a failure is also reported in the message line,
	/// the outputs join the data model and are shown. GUI thread only.
	class WindowMenus : public QObject
	{
	public:
		/// Builds the menus from the factories registered so far. `window` and `model` must outlive this.
		WindowMenus(ViewWindow& window, DataModel& model);
		~WindowMenus() override;

		QMenuBar* menuBar() const { return m_menuBar; }
		/// The side area with the algorithm's panel, the progress bar and the message line.
		QWidget* area() const { return m_area; }

		/// The entry of a menu path ("Graph;Partition Graphs", "File;Open..."), or null.
		QAction* action(const std::string& menuPath) const;
		/// Enables the algorithm entries that accept the current selection.
		void updateEnabled();

		/// Creates the algorithm `id` for the selection and opens its panel (or runs it when it has
		/// none); false with a message when it cannot be created.
		bool openAlgorithm(const std::string& id);
		Algorithm* algorithm() const { return m_algorithm.get(); }
		AlgorithmController* panel() const { return m_panel; }
		/// Closes the panel and forgets the algorithm.
		void closeAlgorithm();
		/// Runs the open algorithm and takes its outputs; false on failure (see `message`).
		bool compute();

		/// Reads a data file into the model and shows what it holds; false with a message on failure.
		bool openFile(const std::string& path);
		/// Writes the selected data to `path` in the format of its extension; false with a message.
		bool saveSelection(const std::string& path);

		/// The last message (empty after success).
		std::string message() const;

	private:
		void buildMenus();
		void setMessage(const std::string& text);
		/// Manipulators complete their edits before data is saved or an algorithm runs.
		void finishEditing();
		void addOutputs(std::vector<std::unique_ptr<Data>> outputs);
		void onAboutToRemove(Data* data);

		ViewWindow& m_window;
		DataModel& m_model;
		QMenuBar* m_menuBar;
		QWidget* m_area;
		QVBoxLayout* m_areaLayout;
		QProgressBar* m_progress;
		QLabel* m_message;
		QLabel* m_title; ///< the open algorithm's name
		QPushButton* m_compute = nullptr; ///< for panels without a Compute button of their own
		std::vector<std::pair<QAction*, std::string>> m_algorithmActions; ///< entry, algorithm identifier
		std::unique_ptr<Algorithm> m_algorithm;
		std::vector<Data*> m_inputs;
		AlgorithmController* m_panel = nullptr;
		struct Receiver;
		std::unique_ptr<Receiver> m_receiver;
	};
}
