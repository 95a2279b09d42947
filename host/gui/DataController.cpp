#include "host/gui/DataController.h"

#include <utility>

namespace Quorvale
{
	DataController::DataController(DataList data, QWidget* parent)
	    : QWidget(parent)
	    , m_data(std::move(data))
	{
	}

	DataController::~DataController() = default;

	void DataController::init() {}

	void DataController::onSelectedDataChanged(const DataList& selected) { m_data = selected; }

	void DataController::onVisibleDataChanged(const DataList&) {}

	void DataController::setHostContext(DataModel* model, DisplayWidgetMulti* display)
	{
		m_model = model;
		m_display = display;
	}
}
