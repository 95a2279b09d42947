#include "app/WindowMenus.h"

#include "app/AlgorithmTraits.h"
#include "app/BackgroundRun.h"
#include "app/DataFiles.h"
#include "app/ViewWindow.h"
#include "host/core/Log.h"
#include "host/core/Progress.h"
#include "host/core/Signal.h"
#include "host/core/String.h"
#include "host/gui/AlgorithmController.h"
#include "host/gui/DefaultAlgorithmController.h"
#include "host/gui/DisplayWidgetMulti.h"
#include "host/gui/GlView.h"
#include "host/gui/Manipulator.h"
#include "host/gui/View.h"
#include "host/lib/Algorithm.h"
#include "host/lib/AlgorithmFactory.h"
#include "host/lib/Data.h"
#include "host/lib/DataList.h"
#include "host/lib/DataModel.h"
#include "host/lib/FactoryRegistry.h"
#include "host/lib/IoAlgorithm.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace Quorvale
{
	struct WindowMenus::Receiver : SignalReceiver
	{
	};

	namespace
	{
		/// How often the window looks at a running algorithm's progress.
		constexpr int RunPollMilliseconds = 40;

		/// "a, b and c".
		std::string listed(const std::vector<std::string>& items)
		{
			std::string text;
			for (size_t i = 0; i < items.size(); ++i)
				text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
			return text;
		}

		/// The menu one level below `parent` with that title, made when missing.
		QMenu* submenu(QWidget* parent, const QString& title)
		{
			const QList<QAction*> actions = parent->actions();
			for (QAction* action : actions)
				if (action->menu() && action->text() == title)
					return action->menu();
			if (auto* bar = qobject_cast<QMenuBar*>(parent))
				return bar->addMenu(title);
			return static_cast<QMenu*>(parent)->addMenu(title);
		}
	}

	WindowMenus::WindowMenus(ViewWindow& window, DataModel& model)
	    : QObject(&window)
	    , m_window(window)
	    , m_model(model)
	    , m_menuBar(new QMenuBar(&window))
	    , m_area(new QWidget(&window))
	    , m_areaLayout(new QVBoxLayout(m_area))
	    , m_progress(new QProgressBar(m_area))
	    , m_message(new QLabel(m_area))
	    , m_title(new QLabel(m_area))
	    , m_runTimer(new QTimer(this))
	    , m_receiver(std::make_unique<Receiver>())
	{
		m_areaLayout->setContentsMargins(0, 0, 0, 0);
		m_title->setStyleSheet("font-weight: bold");
		m_title->hide();
		m_areaLayout->addWidget(m_title);
		m_compute = new QPushButton(tr("Compute"), m_area);
		m_compute->hide();
		connect(m_compute, &QPushButton::clicked, this, [this] { compute(); });
		m_areaLayout->addWidget(m_compute);
		m_progress->setRange(0, 100);
		m_progress->hide();
		m_areaLayout->addWidget(m_progress);
		m_message->setWordWrap(true);
		m_message->hide();
		m_areaLayout->addWidget(m_message);
		m_runTimer->setInterval(RunPollMilliseconds);
		connect(m_runTimer, &QTimer::timeout, this,
		        [this]
		        {
			        if (m_run && m_run->isFinished())
				        finishRun();
			        else
				        showProgress();
		        });
		buildMenus();
		model.signalAboutToRemove.connect(m_receiver.get(), [this](Data* data) { onAboutToRemove(data); });
	}

	WindowMenus::~WindowMenus()
	{
		m_receiver.reset();
		// A run still going is asked to stop; its copies and results go with it.
		m_run.reset();
		closeAlgorithm();
	}

	void WindowMenus::buildMenus()
	{
		QMenu* file = m_menuBar->addMenu(tr("File"));
		file->addAction(tr("Open..."), this,
		                [this]
		                {
			                const QString path = QFileDialog::getOpenFileName(&m_window, tr("Open data"), QString(),
			                                                                  tr("Data files (%1)").arg(QString::fromStdString(DataFiles::knownExtensions()).replace(",", "")));
			                if (!path.isEmpty())
				                openFile(path.toStdString());
		                });
		file->addAction(tr("Save selection..."), this,
		                [this]
		                {
			                const QString path = QFileDialog::getSaveFileName(&m_window, tr("Save the selection"));
			                if (!path.isEmpty())
				                saveSelection(path.toStdString());
		                });
		for (AlgorithmFactory* factory : FactoryRegistry::get().getAlgorithmFactories())
			for (const AlgorithmFactory::Descriptor* descriptor : factory->algorithmDescriptors())
			{
				// Every ";" of the menu name opens a level.
				const std::vector<std::string> parts = String::split(descriptor->name, ";");
				if (parts.empty())
					continue;
				QWidget* parent = m_menuBar;
				for (size_t i = 0; i + 1 < parts.size(); ++i)
					parent = submenu(parent, QString::fromStdString(parts[i]));
				if (parent != m_menuBar)
					if (QAction* top = static_cast<QMenu*>(parent)->menuAction();
					    parts.size() == 2 && std::find(m_algorithmMenus.begin(), m_algorithmMenus.end(), top) == m_algorithmMenus.end())
						m_algorithmMenus.push_back(top);
				auto* action = new QAction(QString::fromStdString(parts.back()), parent);
				parent->addAction(action);
				const std::string id = descriptor->id;
				connect(action, &QAction::triggered, this, [this, id] { openAlgorithm(id); });
				m_algorithmActions.emplace_back(action, id);
				if (auto* menu = qobject_cast<QMenu*>(parent))
					connect(menu, &QMenu::aboutToShow, this, &WindowMenus::updateEnabled);
			}
		updateEnabled();
	}

	QAction* WindowMenus::action(const std::string& menuPath) const
	{
		const std::vector<std::string> parts = String::split(menuPath, ";");
		QWidget* parent = m_menuBar;
		for (size_t i = 0; i < parts.size(); ++i)
		{
			QAction* found = nullptr;
			for (QAction* a : parent->actions())
				if (a->text().toStdString() == parts[i])
					found = a;
			if (!found)
				return nullptr;
			if (i + 1 == parts.size())
				return found;
			if (!found->menu())
				return nullptr;
			parent = found->menu();
		}
		return nullptr;
	}

	void WindowMenus::updateEnabled()
	{
		const DataList selection(m_window.selectedData());
		for (const auto& [action, id] : m_algorithmActions)
		{
			const auto found = FactoryRegistry::get().findAlgorithm(id);
			action->setEnabled(!isRunning() && found.second && (!found.second->isCompatible || found.second->isCompatible(selection)));
		}
	}

	void WindowMenus::followSelection()
	{
		if (!m_algorithm || !m_panel || isRunning())
			return;
		// Only a panel that waits for Compute follows: an editor keeps the data it edits.
		const auto* panel = dynamic_cast<DefaultAlgorithmController*>(m_panel);
		const QPushButton* compute = panel ? panel->computeButton() : m_compute;
		if (!compute || compute->isHidden())
			return;
		if (m_window.selectedData() == m_inputs || !acceptsSelection(m_algorithmId))
			return;
		const std::unique_ptr<Algorithm> previous = std::move(m_algorithm);
		open(m_algorithmId, previous.get());
	}

	bool WindowMenus::openAlgorithm(const std::string& id) { return open(id, nullptr); }

	bool WindowMenus::open(const std::string& id, const Algorithm* settings)
	{
		if (isRunning())
		{
			setMessage("Wait for the running algorithm to finish.");
			return false;
		}
		closeAlgorithm();
		setMessage({});
		const auto [factory, descriptor] = FactoryRegistry::get().findAlgorithm(id);
		const DataList selection(m_window.selectedData());
		if (factory && descriptor)
			m_algorithm = factory->instantiateAlgorithm(descriptor->id, selection);
		if (!m_algorithm)
		{
			setMessage("Cannot run '" + (descriptor ? descriptor->name : id) + "' on the selected data.");
			return false;
		}
		if (settings)
			BackgroundRun::copySettings(*settings, *m_algorithm);
		m_inputs = selection.items();
		m_algorithmId = id;
		m_panel = FactoryRegistry::get().createController(m_algorithm.get());
		if (!m_panel)
			return compute();
		m_panel->setDisplayWidget(m_window.display());
		if (auto* panel = dynamic_cast<DefaultAlgorithmController*>(m_panel))
			panel->setRunner([this](Algorithm&) { compute(); });
		else
			m_compute->show();
		m_panel->init();
		m_title->setText(QString::fromStdString(m_algorithm->factoryInfo().name));
		m_title->show();
		m_areaLayout->insertWidget(1, m_panel);
		return true;
	}

	void WindowMenus::closeAlgorithm()
	{
		// The panel refers to the algorithm: it goes first.
		delete m_panel;
		m_panel = nullptr;
		m_algorithm.reset();
		m_inputs.clear();
		m_compute->hide();
		m_title->hide();
	}

	bool WindowMenus::waitForRun()
	{
		while (m_run)
		{
			QCoreApplication::processEvents(QEventLoop::AllEvents, RunPollMilliseconds);
			if (m_run && m_run->isFinished())
				finishRun();
			else
				QThread::msleep(1);
		}
		return m_lastRunSucceeded;
	}

	bool WindowMenus::compute()
	{
		if (!m_algorithm || isRunning())
			return false;
		finishEditing();
		setMessage({});
		try
		{
			m_run = std::make_unique<BackgroundRun>(m_algorithmId, *m_algorithm, m_inputs);
		}
		catch (const std::exception& e)
		{
			setMessage(e.what());
			return false;
		}
		m_lastRunSucceeded = false;
		setRunning(true);
		showProgress();
		m_runTimer->start();
		return true;
	}

	void WindowMenus::setRunning(bool running)
	{
		for (QAction* menu : m_algorithmMenus)
			menu->setEnabled(!running);
		updateEnabled();
		if (m_panel)
			m_panel->setEnabled(!running);
		m_compute->setEnabled(!running);
		m_progress->setVisible(running);
	}

	void WindowMenus::showProgress()
	{
		if (!m_run)
			return;
		const auto [fraction, step] = m_run->progress();
		const QString name = QString::fromStdString(m_run->algorithm().factoryInfo().name);
		// Until the algorithm reports, the bar says that it runs.
		if (fraction < 0.0)
		{
			m_progress->setRange(0, 0);
			m_progress->setFormat(name);
			return;
		}
		m_progress->setRange(0, 100);
		m_progress->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100.0));
		m_progress->setFormat((step.empty() ? name : QString::fromStdString(step)) + " %p%");
	}

	void WindowMenus::finishRun()
	{
		m_runTimer->stop();
		m_run->wait();
		std::unique_ptr<BackgroundRun> run = std::move(m_run);
		setRunning(false);
		const Algorithm& ran = run->algorithm();
		const std::vector<Log::Record> records = run->records();
		std::vector<std::string> errors;
		for (const Log::Record& record : records)
			if (record.level >= Log::Error)
				errors.push_back(record.message);
		if (run->status() != Algorithm::Success)
		{
			const std::string line = failure(ran, run->status(), errors);
			m_window.showRunLog(records, line);
			setMessage(line);
			followSelection();
			return;
		}

		// The outputs first: a panel may take what it goes on working with.
		OwningDataList output = run->takeOutput();
		if (m_panel)
			output = m_panel->postprocessOutput(std::move(output));
		const std::vector<Data*> made = addOutputs(output.extractAll());
		// Replacing a changed input closes the algorithm opened on it; it opens again on the replacement.
		const bool reopen = m_panel != nullptr;
		std::vector<Data*> changed;
		std::vector<std::string> removed, edited;
		std::vector<BackgroundRun::Change> changes = run->takeChanges();
		for (BackgroundRun::Change& change : changes)
		{
			// The original went while the algorithm ran: its changed copy has nowhere to go. Or it was
			// changed by hand: the copy would undo that.
			if (!change.original || !m_model.contains(change.original) || change.originalChanged)
			{
				(change.originalChanged && change.original ? edited : removed).push_back("'" + change.copy->name() + "'");
				continue;
			}
			Data* replacement = change.copy.get();
			m_window.replaceData(change.original, std::move(change.copy));
			changed.push_back(replacement);
		}
		m_window.showRunLog(records, summary(ran, made, changed, removed, edited));
		m_lastRunSucceeded = true;
		if (reopen && !m_algorithm && acceptsSelection(m_algorithmId))
			open(m_algorithmId, &ran);
		else
			followSelection();
		// The algorithm refers to its copies: it goes before the ones that were dropped.
		run.reset();
	}

	bool WindowMenus::acceptsSelection(const std::string& id) const
	{
		const std::vector<Data*> selection = m_window.selectedData();
		const auto found = FactoryRegistry::get().findAlgorithm(id);
		return !selection.empty() && found.second && (!found.second->isCompatible || found.second->isCompatible(DataList(selection)));
	}

	std::string WindowMenus::summary(const Algorithm& ran, const std::vector<Data*>& made, const std::vector<Data*>& changed,
	                                 const std::vector<std::string>& removed, const std::vector<std::string>& edited) const
	{
		const auto named = [this](const std::vector<Data*>& items)
		{
			std::vector<std::string> names;
			for (const Data* data : items)
			{
				const std::string label = m_window.labelOf(data).toStdString();
				names.push_back(DataFiles::describeKind(*data) + (label.empty() ? std::string(" without a name") : " '" + label + "'"));
			}
			return listed(names);
		};
		std::vector<std::string> parts;
		if (!made.empty())
			parts.push_back("made " + named(made));
		if (!changed.empty())
			parts.push_back("changed " + named(changed));
		if (const auto* io = dynamic_cast<const IoAlgorithm*>(&ran); io && io->ioMode() == IoAlgorithm::IoMode::Write)
			parts.push_back("wrote " + io->location());
		for (const auto& [dropped, why] : {std::pair{&removed, "removed"}, std::pair{&edited, "changed"}})
			if (!dropped->empty())
				parts.push_back("dropped its changes to " + listed(*dropped) + ", " + why + " while it ran");
		if (parts.empty())
			return ran.factoryInfo().name + " finished; it made and changed nothing.";
		return ran.factoryInfo().name + " " + listed(parts) + ".";
	}

	std::string WindowMenus::failure(const Algorithm& ran, int status, const std::vector<std::string>& errors) const
	{
		std::string line = "'" + ran.factoryInfo().name + "' failed (status " + std::to_string(status) + ")";
		if (errors.empty())
			line += ".";
		else
			line += ":";
		for (const std::string& error : errors)
			line += " " + error;
		// The command line's hint, with where a missing input is chosen here.
		std::string hint = AlgorithmTraits::failureHint(ran.factoryInfo().id, ran, errors.empty() ? std::string() : errors.back());
		if (hint.find("input") != std::string::npos)
			hint += "; select it in the data list too, with Ctrl+click";
		if (!hint.empty())
			line += " (" + hint + ")";
		return line;
	}

	std::vector<Data*> WindowMenus::addOutputs(std::vector<std::unique_ptr<Data>> outputs)
	{
		std::vector<Data*> added;
		for (auto& data : outputs)
			if (data)
			{
				added.push_back(m_model.add(std::move(data)));
				m_window.setShown(added.back(), true);
			}
		return added;
	}

	bool WindowMenus::openFile(const std::string& path)
	{
		setMessage({});
		try
		{
			addOutputs(DataFiles::load(path));
			return true;
		}
		catch (const std::exception& e)
		{
			setMessage(e.what());
			return false;
		}
	}

	bool WindowMenus::saveSelection(const std::string& path)
	{
		setMessage({});
		finishEditing();
		const std::vector<Data*> selected = m_window.selectedData();
		if (selected.empty())
		{
			setMessage("Select the data to save first.");
			return false;
		}
		try
		{
			DataFiles::saveAll(std::vector<const Data*>(selected.begin(), selected.end()), path);
			return true;
		}
		catch (const std::exception& e)
		{
			setMessage(e.what());
			return false;
		}
	}

	std::string WindowMenus::message() const { return m_message->text().toStdString(); }

	void WindowMenus::setMessage(const std::string& text)
	{
		m_message->setText(QString::fromStdString(text));
		m_message->setVisible(!text.empty());
		if (!text.empty())
			Log::error(text);
	}

	void WindowMenus::finishEditing()
	{
		for (GUI::View* view : m_window.display()->views())
			for (Manipulator* manipulator : view->glView()->manipulators())
				manipulator->finishEditing();
	}

	void WindowMenus::onAboutToRemove(Data* data)
	{
		if (std::find(m_inputs.begin(), m_inputs.end(), data) != m_inputs.end())
			closeAlgorithm();
	}
}
