#include "host/gui/DefaultAlgorithmController.h"

#include <exception>
#include <string>
#include <utility>

#include <QPushButton>
#include <QVBoxLayout>

#include "host/core/Log.h"
#include "host/gui/PropertiesWidget.h"
#include "host/lib/Algorithm.h"
#include "host/lib/AlgorithmRunner.h"

namespace Quorvale
{
	DefaultAlgorithmController::DefaultAlgorithmController(Algorithm* algorithm, const std::string& title, bool firstFlag, bool secondFlag,
	                                                       QWidget* parent)
	    : AlgorithmController(algorithm, parent)
	    , m_title(title)
	    , m_firstFlag(firstFlag)
	    , m_secondFlag(secondFlag)
	    , m_runner([](Algorithm& a) { AlgorithmRunner::run(a); })
	{
		setWindowTitle(QString::fromStdString(title));
	}

	DefaultAlgorithmController::~DefaultAlgorithmController() = default;

	void DefaultAlgorithmController::init()
	{
		if (m_properties)
			return;
		auto* layout = new QVBoxLayout(this);
		m_properties = new PropertiesWidget(this);
		m_properties->setSplitCamelCase(true);
		m_properties->setConfigurable(algorithm());
		layout->addWidget(m_properties);
		m_computeButton = new QPushButton(tr("Compute"), this);
		m_computeButton->setHidden(m_computeButtonHidden);
		connect(m_computeButton, &QPushButton::clicked, this, &DefaultAlgorithmController::onCompute);
		layout->addWidget(m_computeButton);
		layout->addStretch(1);
	}

	void DefaultAlgorithmController::setRunner(Runner runner) { m_runner = std::move(runner); }

	void DefaultAlgorithmController::hideComputeButton(bool hide)
	{
		m_computeButtonHidden = hide;
		if (m_computeButton)
			m_computeButton->setHidden(hide);
	}

	void DefaultAlgorithmController::onCompute()
	{
		if (!algorithm() || !m_runner)
			return;
		// Qt's event loop does not carry exceptions: one out of a runner ends here as a failed run.
		try
		{
			m_runner(*algorithm());
		}
		catch (const std::exception& e)
		{
			Log::error(std::string("Running the algorithm failed: ") + e.what());
			algorithm()->setStatus(Algorithm::Error);
		}
	}
}
