#include "src/gui/RangeInputDialog.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace Quorvale::detail
{
	RangeInputDialog::RangeInputDialog(QWidget* parent)
	    : QDialog(parent)
	    , m_min(new QDoubleSpinBox(this))
	    , m_max(new QDoubleSpinBox(this))
	{
		auto* layout = new QVBoxLayout(this);
		layout->addWidget(new QLabel(tr("Specify Range for Color Map:"), this));
		auto* row = new QHBoxLayout();
		for (QDoubleSpinBox* box : {m_min, m_max})
		{
			box->setRange(-1e9, 1e9);
			box->setDecimals(6);
		}
		row->addWidget(m_min);
		row->addWidget(new QLabel(QString(QChar(0x2013)), this));
		row->addWidget(m_max);
		layout->addLayout(row);
		auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
		connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
		connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
		layout->addWidget(buttons);
	}

	void RangeInputDialog::setRange(double min, double max)
	{
		m_min->setValue(min);
		m_max->setValue(max);
	}

	double RangeInputDialog::minimumValue() const { return m_min->value(); }

	double RangeInputDialog::maximumValue() const { return m_max->value(); }
}
