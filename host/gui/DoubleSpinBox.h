#pragma once

#include <QDoubleSpinBox>

namespace Quorvale
{
	/// A `QDoubleSpinBox` that holds every value exactly and shows the shortest decimal text that reads
	/// back to it (in single precision when set so): the Qt box rounds its value to a fixed number of
	/// decimals (two by default), which would turn 0.001 into 0. Texts use the C locale, so "." is the
	/// decimal point everywhere. Its size hint does not grow with the range, so unbounded boxes stay narrow.
	class DoubleSpinBox : public QDoubleSpinBox
	{
		Q_OBJECT

	public:
		explicit DoubleSpinBox(QWidget* parent = nullptr);

		/// Shows values as the shortest text of the float they hold (for float parameters).
		void setSinglePrecision(bool single);
		bool isSinglePrecision() const { return m_singlePrecision; }

		QString textFromValue(double value) const override;
		QSize sizeHint() const override;
		QSize minimumSizeHint() const override;

	private:
		/// Width by which the texts of the range ends exceed a typical number's text.
		int excessWidth() const;

		bool m_singlePrecision = false;
	};
}
