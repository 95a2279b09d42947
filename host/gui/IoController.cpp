#include "host/gui/IoController.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <QToolButton>
#include <QVBoxLayout>

#include "host/core/Properties.h"
#include "host/gui/PropertiesWidget.h"
#include "host/lib/IoAlgorithm.h"

namespace Quorvale
{
	IoController::IoController(IoAlgorithm* algorithm, bool firstFlag, bool secondFlag, QWidget* parent)
	    : AlgorithmController(algorithm, parent)
	    , m_ioAlgorithm(algorithm)
	    , m_firstFlag(firstFlag)
	    , m_secondFlag(secondFlag)
	{
	}

	IoController::~IoController() = default;

	void IoController::init()
	{
		if (m_location || !m_ioAlgorithm)
			return;
		auto* layout = new QVBoxLayout(this);

		auto* locationRow = new QHBoxLayout();
		locationRow->addWidget(new QLabel(tr("File"), this));
		m_location = new QLineEdit(QString::fromStdString(m_ioAlgorithm->location()), this);
		locationRow->addWidget(m_location, 1);
		m_browse = new QToolButton(this);
		m_browse->setText(QStringLiteral("..."));
		m_browse->setToolTip(tr("Choose a file"));
		locationRow->addWidget(m_browse);
		layout->addLayout(locationRow);
		connect(m_location, &QLineEdit::editingFinished, this, [this] { applyLocation(m_location->text()); });
		connect(m_browse, &QToolButton::clicked, this, &IoController::onBrowse);

		m_properties = new PropertiesWidget(this);
		m_properties->setSplitCamelCase(true);
		m_properties->setFilter(
		    [](const Properties::Param& param)
		    {
			    for (const auto& [name, value] : param.attributes)
				    if (name == "useroption")
					    return value == "rw";
			    return false;
		    });
		m_properties->setConfigurable(m_ioAlgorithm);
		layout->addWidget(m_properties);
		layout->addStretch(1);
	}

	void IoController::onBrowse()
	{
		if (!m_ioAlgorithm)
			return;
		const bool writing = m_ioAlgorithm->ioMode() == IoAlgorithm::IoMode::Write;
		QStringList patterns;
		for (const auto& extension : m_ioAlgorithm->supportedFileExtensions())
			patterns << QStringLiteral("*.") + QString::fromStdString(extension);
		QStringList filters;
		if (!patterns.isEmpty())
			filters << tr("Supported files (%1)").arg(patterns.join(QLatin1Char(' ')));
		filters << tr("All files (*)");

		QString start = QString::fromStdString(m_ioAlgorithm->location());
		if (start.isEmpty() && writing)
			start = QString::fromStdString(m_ioAlgorithm->suggestedSaveFileName());

		auto* dialog = new QFileDialog(this, writing ? tr("Save as") : tr("Open"));
		dialog->setAttribute(Qt::WA_DeleteOnClose);
		dialog->setAcceptMode(writing ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
		dialog->setFileMode(writing ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
		dialog->setNameFilters(filters);
		if (writing && !m_ioAlgorithm->supportedFileExtensions().empty())
			dialog->setDefaultSuffix(QString::fromStdString(m_ioAlgorithm->supportedFileExtensions().front()));
		if (!start.isEmpty())
		{
			const QFileInfo info(start);
			if (info.dir().exists())
				dialog->setDirectory(info.dir());
			dialog->selectFile(info.fileName());
		}
		connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& file) { applyLocation(file); });
		dialog->open();
	}

	void IoController::applyLocation(const QString& location)
	{
		if (m_location->text() != location)
			m_location->setText(location);
		m_ioAlgorithm->setLocation(location.toStdString());
	}
}
