#include "app/WindowMenus.h"

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
#include "host/lib/AlgorithmRunner.h"
#include "host/lib/Data.h"
#include "host/lib/DataList.h"
#include "host/lib/DataModel.h"
#include "host/lib/FactoryRegistry.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
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
		/// Shows the run's progress in the bar; the views stay blocked while it paints.
		class BarProgress : public Progress
		{
		public:
			explicit BarProgress(QProgressBar& bar)
			    : m_bar(bar)
			{
			}
			void update(double fraction, const std::string& step) override
			{
				m_bar.setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100.0));
				m_bar.setFormat(QString::fromStdString(step.empty() ? std::string("%p%") : step + " %p%"));
				QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
			}

		private:
			QProgressBar& m_bar;
		};

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
		buildMenus();
		model.signalAboutToRemove.connect(m_receiver.get(), [this](Data* data) { onAboutToRemove(data); });
	}

	WindowMenus::~WindowMenus()
	{
		m_receiver.reset();
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
			action->setEnabled(found.second && (!found.second->isCompatible || found.second->isCompatible(selection)));
		}
	}

	bool WindowMenus::openAlgorithm(const std::string& id)
	{
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
		m_inputs = selection.items();
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

	bool WindowMenus::compute()
	{
		if (!m_algorithm)
			return false;
		finishEditing();
		setMessage({});
		m_progress->setValue(0);
		m_progress->show();
		m_window.display()->setEnabled(false);
		BarProgress progress(*m_progress);
		Log::ScopedCapture log;
		const int status = AlgorithmRunner::run(*m_algorithm, &progress);
		m_window.showRunLog(log.sink().records());
		m_window.display()->setEnabled(true);
		m_progress->hide();
		// The inputs may have been changed in place.
		for (Data* data : m_inputs)
			data->signalDataChanged.emitSignal();
		if (status != Algorithm::Success)
		{
			const auto errors = log.sink().messages(Log::Error);
			setMessage("'" + m_algorithm->factoryInfo().name + "' failed (status " + std::to_string(status) + ")" +
			           (errors.empty() ? std::string(".") : ": " + errors.back()));
			return false;
		}
		OwningDataList output = m_algorithm->takeOutput();
		if (m_panel)
			output = m_panel->postprocessOutput(std::move(output));
		addOutputs(output.extractAll());
		return true;
	}

	void WindowMenus::addOutputs(std::vector<std::unique_ptr<Data>> outputs)
	{
		for (auto& data : outputs)
			if (data)
				m_window.setShown(m_model.add(std::move(data)), true);
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
