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
class QTimer;
class QVBoxLayout;
class QWidget;

namespace Quorvale
{
	class Algorithm;
	class AlgorithmController;
	class BackgroundRun;
	class Data;
	class DataModel;
	class ViewWindow;

	/// The menus of the view window and the algorithm they open: "File" (open data files, save the
	/// selection) and one menu entry per registered algorithm, nested at every ";" of its menu name and
	/// disabled while the selection does not suit it. An opened algorithm shows its panel (from the
	/// controller factories) in the window's side; one without a panel runs at once. While a panel waits
	/// for Compute, the algorithm follows a new selection that it takes (made anew there, with the
	/// panel's settings).
	///
	/// Compute starts a `BackgroundRun`: the window keeps repainting and the user keeps looking around
	/// (and working on) the data, which the run does not touch; a progress bar shows from the click on,
	/// and Compute, the panel and the algorithm menus are disabled until the run ends. Then, on this
	/// thread: the log goes to the window's log panel and a line saying what the run made or changed
	/// (or why it failed) to its status line (`ViewWindow::showRunLog`), a failure also to the message
	/// line; the outputs join the data model and are shown; each input the run changed is replaced by
	/// its changed copy (`ViewWindow::replaceData`), unless the input was removed or changed by hand
	/// meanwhile: then the run's changes to it are dropped, and the line says so. GUI thread only.
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
		/// Starts the open algorithm on copies of its inputs; false (see `message`) when it cannot start
		/// or a run is going. The run ends in the event loop (see `waitForRun`).
		bool compute();
		bool isRunning() const { return m_run != nullptr; }
		/// Handles events until the run ends; true when it succeeded (without a run: whether the last did).
		bool waitForRun();
		/// While no run is going and a panel waits for Compute, makes the algorithm anew for the current
		/// selection when it takes it and it differs from the inputs (the panel is made anew too).
		void followSelection();

		/// Reads a data file into the model and shows what it holds; false with a message on failure.
		bool openFile(const std::string& path);
		/// Writes the selected data to `path` in the format of its extension; false with a message.
		bool saveSelection(const std::string& path);

		/// The last message (empty after success).
		std::string message() const;

	private:
		void buildMenus();
		void setMessage(const std::string& text);
		/// Disables Compute, the panel and the algorithm menus while a run goes.
		void setRunning(bool running);
		void showProgress();
		/// Hands over what the ended run made and changed and reports it.
		void finishRun();
		/// Creates the algorithm `id` for the selection with the settings of `settings` (when given) and
		/// opens its panel, or runs it when it has none.
		bool open(const std::string& id, const Algorithm* settings);
		/// True when the selection is not empty and the algorithm `id` takes it.
		bool acceptsSelection(const std::string& id) const;
		/// The status line of a run of `ran` that succeeded: what it made, changed or wrote, and the
		/// changes it dropped because their data was removed or changed meanwhile.
		std::string summary(const Algorithm& ran, const std::vector<Data*>& made, const std::vector<Data*>& changed,
		                    const std::vector<std::string>& removed, const std::vector<std::string>& edited) const;
		/// The message of a failed run of `ran`: its errors and the program's hint.
		std::string failure(const Algorithm& ran, int status, const std::vector<std::string>& errors) const;
		/// Manipulators complete their edits before data is saved or an algorithm runs.
		void finishEditing();
		/// Adds the data to the model and shows it; the data added.
		std::vector<Data*> addOutputs(std::vector<std::unique_ptr<Data>> outputs);
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
		std::vector<QAction*> m_algorithmMenus;                           ///< the top-level menus of algorithms
		std::string m_algorithmId;                                        ///< as registered, of the open algorithm
		std::unique_ptr<Algorithm> m_algorithm;
		std::vector<Data*> m_inputs;
		AlgorithmController* m_panel = nullptr;
		std::unique_ptr<BackgroundRun> m_run;
		QTimer* m_runTimer;
		bool m_lastRunSucceeded = false;
		struct Receiver;
		std::unique_ptr<Receiver> m_receiver;
	};
}
