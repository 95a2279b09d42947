#include "host/gui/DoubleSpinBox.h"

#include <array>
#include <charconv>
#include <cmath>

#include <QFontMetrics>
#include <QLineEdit>
#include <QLocale>

namespace Quorvale
{
	DoubleSpinBox::DoubleSpinBox(QWidget* parent)
	    : QDoubleSpinBox(parent)
	{
		setLocale(QLocale::c());
		// The largest count Qt allows: rounding to it reproduces every normal double.
		setDecimals(323);
	}

	void DoubleSpinBox::setSinglePrecision(bool single)
	{
		m_singlePrecision = single;
		lineEdit()->setText(textFromValue(value()));
	}

	QString DoubleSpinBox::textFromValue(double value) const
	{
		if (!std::isfinite(value))
			return QString::number(value);
		// Fixed notation: the box reads no exponents. 400 characters hold the longest double (about 330).
		std::array<char, 400> buffer{};
		const auto result =
		    m_singlePrecision
		        ? std::to_chars(buffer.data(), buffer.data() + buffer.size(), static_cast<float>(value), std::chars_format::fixed)
		        : std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed);
		return QString::fromLatin1(buffer.data(), static_cast<int>(result.ptr - buffer.data()));
	}

	int DoubleSpinBox::excessWidth() const
	{
		const QFontMetrics metrics(font());
		const int typical = metrics.horizontalAdvance(QStringLiteral("-0000000.000000"));
		const int widest =
		    std::max(metrics.horizontalAdvance(textFromValue(minimum())), metrics.horizontalAdvance(textFromValue(maximum())));
		return std::max(0, widest - typical);
	}

	QSize DoubleSpinBox::sizeHint() const
	{
		QSize hint = QDoubleSpinBox::sizeHint();
		hint.rwidth() -= excessWidth();
		return hint;
	}

	QSize DoubleSpinBox::minimumSizeHint() const
	{
		QSize hint = QDoubleSpinBox::minimumSizeHint();
		hint.rwidth() -= excessWidth();
		return hint;
	}
}
