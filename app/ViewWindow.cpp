#include "app/ViewWindow.h"

#include "app/WindowMenus.h"

#include "host/core/Signal.h"
#include "host/gui/DataController.h"
#include "host/gui/DataDisplayHandlerFactory.h"
#include "host/gui/DisplayWidgetMulti.h"
#include "host/gui/MeshDisplayHandler.h"
#include "host/gui/PointCloudDisplayHandler.h"
#include "host/lib/AlgorithmControllerFactory.h"
#include "host/lib/Data.h"
#include "host/lib/DataComponentBase.h"
#include "host/lib/DataComponentList.h"
#include "host/lib/DataModel.h"
#include "host/lib/FactoryRegistry.h"
#include "host/lib/SharedImageSet.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace Quorvale
{
	struct ViewWindow::Receiver : SignalReceiver
	{
	};

	namespace
	{
		constexpr int DataRole = Qt::UserRole + 1;

		Data* dataOf(const QListWidgetItem* item) { return static_cast<Data*>(item->data(DataRole).value<void*>()); }

		/// The row of the data's entry in the list, or -1.
		int rowOf(const QListWidget& list, const Data* data)
		{
			for (int i = 0; i < list.count(); ++i)
				if (dataOf(list.item(i)) == data)
					return i;
			return -1;
		}

		/// The window's own display handlers (plug-ins register theirs when they are initialised).
		void registerHostDisplayHandlers()
		{
			static const bool registered = []
			{
				DataDisplayHandlerFactory::registerHandler("Quorvale.MeshDisplayHandler", [] { return std::make_unique<MeshDisplayHandler>(); });
				DataDisplayHandlerFactory::registerHandler("Quorvale.PointCloudDisplayHandler",
				                                           [] { return std::make_unique<PointCloudDisplayHandler>(); });
				return true;
			}();
			(void)registered;
		}
	}

	ViewWindow::ViewWindow(DataModel& model, QWidget* parent)
	    : QWidget(parent)
	    , m_model(model)
	    , m_display(new DisplayWidgetMulti(this))
	    , m_list(new QListWidget(this))
	    , m_splitter(new QSplitter(this))
	    , m_removeAction(new QAction(tr("Remove..."), m_list))
	    , m_log(new QPlainTextEdit(this))
	    , m_status(new QStatusBar(this))
	    , m_receiver(std::make_unique<Receiver>())
	{
		registerHostDisplayHandlers();
		setWindowTitle(tr("Quorvale view"));
		auto* layout = new QVBoxLayout(this);
		layout->addWidget(m_splitter, 1);
		layout->addWidget(m_status);
		m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
		m_list->addAction(m_removeAction);
		m_list->setContextMenuPolicy(Qt::ActionsContextMenu);
		m_list->installEventFilter(this);
		connect(m_removeAction, &QAction::triggered, this, [this] { removeSelectedData(); });
		m_splitter->addWidget(m_list);
		m_splitter->addWidget(m_display);
		// The panels scroll rather than take the views' room.
		m_sideArea = new QScrollArea(this);
		m_sideArea->setWidgetResizable(true);
		m_sideArea->setFrameShape(QFrame::NoFrame);
		auto* side = new QWidget(m_sideArea);
		// The side widens to what new panels need, as far as the views let it.
		side->installEventFilter(this);
		m_side = new QVBoxLayout(side);
		m_side->addStretch(1);
		m_log->setReadOnly(true);
		m_log->setMaximumBlockCount(2000);
		m_log->setPlaceholderText(tr("Log of the runs"));
		m_side->addWidget(m_log);
		m_sideArea->setWidget(side);
		m_splitter->addWidget(m_sideArea);
		m_menus = new WindowMenus(*this, model);
		layout->setMenuBar(m_menus->menuBar());
		m_side->insertWidget(0, m_menus->area());
		m_splitter->setStretchFactor(1, 1);
		m_splitter->setChildrenCollapsible(false);
		m_display->setDataModel(&model);

		model.signalAdded.connect(m_receiver.get(), [this](Data* data) { addItem(data); });
		model.signalAboutToRemove.connect(m_receiver.get(), [this](Data* data) { removeItem(data); });
		m_display->signalShownDataChanged.connect(m_receiver.get(), [this] { syncTicks(); });
		connect(m_list, &QListWidget::itemChanged, this, &ViewWindow::onItemChanged);
		connect(m_list, &QListWidget::itemSelectionChanged, this, &ViewWindow::onSelectionChanged);
		const DataList held = model.getAll();
		for (Data* data : held.items())
			addItem(data);
	}

	ViewWindow::~ViewWindow()
	{
		// The algorithm's panel may show things in the display.
		delete m_menus;
		m_menus = nullptr;
		m_receiver.reset();
		m_options.reset();
	}

	QString ViewWindow::uniqueLabel(const QString& name) const
	{
		const auto taken = [this](const QString& label) { return !m_list->findItems(label, Qt::MatchExactly).isEmpty(); };
		QString label = name;
		for (int n = 2; taken(label); ++n)
			label = QString("%1 %2").arg(name).arg(n);
		return label;
	}

	void ViewWindow::addItem(Data* data)
	{
		const QString label = uniqueLabel(QString::fromStdString(data->name().empty() ? data->describe() : data->name()));
		auto* item = new QListWidgetItem(label, m_list);
		item->setData(DataRole, QVariant::fromValue(static_cast<void*>(data)));
		item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
		const QSignalBlocker block(m_list);
		item->setCheckState(Qt::Unchecked);
	}

	void ViewWindow::removeItem(Data* data)
	{
		const int row = rowOf(*m_list, data);
		if (row < 0)
			return;
		// The panel and the options may refer to the data: rebuild them for what stays selected.
		delete m_list->takeItem(row);
		if (!m_replacing)
			onSelectionChanged();
	}

	std::vector<Data*> ViewWindow::selectedData() const
	{
		std::vector<Data*> selected;
		for (int i = 0; i < m_list->count(); ++i)
			if (m_list->item(i)->isSelected())
				selected.push_back(dataOf(m_list->item(i)));
		return selected;
	}

	void ViewWindow::setShown(Data* data, bool shown)
	{
		if (const int row = rowOf(*m_list, data); row >= 0)
			m_list->item(row)->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
	}

	void ViewWindow::showAll()
	{
		const auto images = m_model.getAll(Data::ImageSet).items();
		if (!images.empty())
			m_display->setCurrentImage(static_cast<SharedImageSet*>(images.front()));
		for (int i = 0; i < m_list->count(); ++i)
			if (Data* data = dataOf(m_list->item(i)); data != m_display->currentImage())
				m_display->showData(data);
		syncTicks();
		if (m_panel)
			m_panel->onVisibleDataChanged(m_display->shownData());
	}

	void ViewWindow::onItemChanged(QListWidgetItem* item)
	{
		Data* data = dataOf(item);
		const bool on = item->checkState() == Qt::Checked;
		if (auto* image = dynamic_cast<SharedImageSet*>(data))
		{
			// One image is shown at a time: ticking one replaces the other, unticking another keeps it.
			if (on)
				m_display->setCurrentImage(image);
			else if (m_display->currentImage() == image)
				m_display->setCurrentImage(nullptr);
		}
		else if (on)
			m_display->showData(data);
		else
			m_display->hideData(data);
		syncTicks();
		if (m_panel)
			m_panel->onVisibleDataChanged(m_display->shownData());
	}

	void ViewWindow::showRunLog(const std::vector<Log::Record>& records, const std::string& outcome)
	{
		const QString said = QString::fromStdString(outcome);
		QStringList status{said};
		for (const Log::Record& record : records)
		{
			if (record.level < Log::Info)
				continue;
			const QString line = QString::fromStdString(Log::format(record));
			m_log->appendPlainText(line);
			// A failure's line holds its errors already.
			if (record.level == Log::Warning || (record.level > Log::Warning && !said.contains(QString::fromStdString(record.message))))
				status << line;
		}
		m_log->appendPlainText(said);
		status.removeAll(QString());
		m_status->showMessage(status.join("  "));
	}

	QString ViewWindow::labelOf(const Data* data) const
	{
		const int row = rowOf(*m_list, data);
		return row < 0 ? QString() : m_list->item(row)->text();
	}

	Data* ViewWindow::replaceData(Data* data, std::unique_ptr<Data> replacement)
	{
		const int row = rowOf(*m_list, data);
		if (row < 0 || !replacement)
			return nullptr;
		QListWidgetItem* old = m_list->item(row);
		const QString label = old->text();
		const bool selected = old->isSelected();
		const bool shown = old->checkState() == Qt::Checked;
		const bool sameName = replacement->name() == data->name();
		// What the user set up for the data stays with it: display options, colour tables, legends.
		replacement->components().assignFrom(data->components());
		for (DataComponentBase* component : data->components().all())
			if (component->isTemporary())
				replacement->components().add(data->components().remove(component));

		Data* added = nullptr;
		std::unique_ptr<Data> gone;
		{
			m_replacing = true;
			const QSignalBlocker block(m_list);
			gone = m_model.take(data);
			added = m_model.add(std::move(replacement));
			QListWidgetItem* item = m_list->takeItem(m_list->count() - 1);
			if (sameName)
				item->setText(label);
			m_list->insertItem(row, item);
			item->setSelected(selected);
			m_replacing = false;
		}
		setShown(added, shown);
		// Panels and options leave the old data before it goes.
		onSelectionChanged();
		gone.reset();
		return added;
	}

	void ViewWindow::syncTicks()
	{
		const QSignalBlocker block(m_list);
		for (int i = 0; i < m_list->count(); ++i)
		{
			Data* data = dataOf(m_list->item(i));
			const bool shown = data == m_display->currentImage() || m_display->isShown(data);
			m_list->item(i)->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
		}
	}

	bool ViewWindow::removeSelectedData()
	{
		const std::vector<Data*> selected = selectedData();
		if (selected.empty())
			return false;
		const QString question = selected.size() == 1
		                             ? tr("Remove '%1' from the data list?").arg(m_list->selectedItems().front()->text())
		                             : tr("Remove the %1 selected items from the data list?").arg(selected.size());
		if (QMessageBox::question(this, tr("Remove data"), question) != QMessageBox::Yes)
			return false;
		for (Data* data : selected)
			m_model.remove(data);
		return true;
	}

	bool ViewWindow::eventFilter(QObject* watched, QEvent* event)
	{
		if (m_sideArea && watched == m_sideArea->widget() && event->type() == QEvent::LayoutRequest)
			QTimer::singleShot(0, this, [this] { arrangeSplitter(); });
		if (watched == m_list && event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete)
		{
			removeSelectedData();
			return true;
		}
		return QWidget::eventFilter(watched, event);
	}

	void ViewWindow::onSelectionChanged()
	{
		updatePanel(selectedData());
		if (m_menus)
		{
			m_menus->updateEnabled();
			m_menus->followSelection();
		}
	}

	void ViewWindow::resizeEvent(QResizeEvent* event)
	{
		QWidget::resizeEvent(event);
		const int width = event->size().width();
		// At first the list takes an eighth of the width and the panels three tenths (the splitter
		// shares its width in these proportions once it is laid out).
		if (!m_splitterPlaced)
		{
			m_splitterPlaced = true;
			m_splitter->setSizes({width / 8, width - width / 8 - width * 3 / 10, width * 3 / 10});
			return;
		}
		arrangeSplitter();
	}

	void ViewWindow::arrangeSplitter()
	{
		QList<int> sizes = m_splitter->sizes();
		const int total = sizes.size() == 3 ? sizes[0] + sizes[1] + sizes[2] : 0;
		if (total <= 0)
			return;
		// What the views leave: the panels take what they need of it; the list gives way first, down
		// to a width that still shows short names, then the panels (which scroll).
		const int room = std::max(total - (width() + 1) / 2, 0);
		const int needed = m_sideArea->widget()->minimumSizeHint().width() + m_sideArea->verticalScrollBar()->sizeHint().width();
		constexpr int ListFloor = 120;
		int list = sizes[0];
		int side = std::max(sizes[2], needed);
		if (list + side > room)
			list = std::max(std::min(list, ListFloor), room - side);
		if (list + side > room)
			side = std::max(room - list, m_sideArea->minimumSizeHint().width());
		const QList<int> wanted{list, total - list - side, side};
		if (wanted != sizes)
			m_splitter->setSizes(wanted);
	}

	void ViewWindow::updatePanel(const std::vector<Data*>& selected)
	{
		const DataList list(selected);
		m_options.reset();
		if (selected.size() == 1)
			if ((m_options = m_display->createOptionsWidget(selected.front())))
				m_side->insertWidget(0, m_options.get());

		// The first data panel that takes the selection; an existing one of the same kind follows it.
		std::string wanted;
		AlgorithmControllerFactory* owner = nullptr;
		for (AlgorithmControllerFactory* factory : FactoryRegistry::get().getAlgorithmControllerFactories())
		{
			const auto names = factory->compatibleDataControllers(list);
			if (!names.empty())
			{
				wanted = names.front();
				owner = factory;
				break;
			}
		}
		if (m_panel && !wanted.empty() && m_panel->property("panelName").toString().toStdString() == wanted)
		{
			m_panel->onSelectedDataChanged(list);
			return;
		}
		delete m_panel;
		m_panel = nullptr;
		if (!owner)
			return;
		m_panel = owner->createDataController(wanted, list);
		if (!m_panel)
			return;
		m_panel->setProperty("panelName", QString::fromStdString(wanted));
		m_panel->setHostContext(&m_model, m_display);
		m_panel->init();
		// A new panel starts from the state of its data (a graph's colouring and legend).
		m_panel->onSelectedDataChanged(list);
		m_panel->onVisibleDataChanged(m_display->shownData());
		m_side->insertWidget(m_options ? 1 : 0, m_panel);
	}
}
