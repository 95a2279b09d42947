#pragma once

#include <QDialog>

class QDoubleSpinBox;

namespace Quorvale::detail
{
	/// Asks for the value range of a colour map: a minimum and a maximum in [-1e9, 1e9].
	class RangeInputDialog : public QDialog
	{
		Q_OBJECT

	public:
		explicit RangeInputDialog(QWidget* parent = nullptr);

		void setRange(double min, double max);
		double minimumValue() const;
		double maximumValue() const;
		QDoubleSpinBox* minimumBox() const { return m_min; }
		QDoubleSpinBox* maximumBox() const { return m_max; }

	private:
		QDoubleSpinBox* m_min;
		QDoubleSpinBox* m_max;
	};
}
