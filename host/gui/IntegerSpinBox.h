#pragma once

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QString>

#include <cstdint>
#include <functional>
#include <limits>
#include <type_traits>

namespace Quorvale
{
	/// A spin box for 64-bit integers, whose values `QSpinBox` (int) and `QDoubleSpinBox` (53-bit
	/// mantissa) cannot all hold. Typed text is taken when editing finishes (Return or focus loss);
	/// text that is no number in range is replaced by the current value. Steps saturate at the bounds.
	/// A class template cannot carry Qt signals, so changes are reported to a callback instead.
	template <typename T>
	class IntegerSpinBox : public QAbstractSpinBox
	{
		static_assert(std::is_same_v<T, std::int64_t> || std::is_same_v<T, std::uint64_t>, "64-bit integers only");

	public:
		explicit IntegerSpinBox(QWidget* parent = nullptr)
		    : QAbstractSpinBox(parent)
		{
			connect(this, &QAbstractSpinBox::editingFinished, this, [this] { interpret(); });
			lineEdit()->setText(format(m_value));
		}

		T value() const { return m_value; }
		T minimum() const { return m_minimum; }
		T maximum() const { return m_maximum; }
		T singleStep() const { return m_step; }

		/// Sets the value, clamped to the range; reports a change unless the signals are blocked.
		void setValue(T value)
		{
			value = clamp(value);
			lineEdit()->setText(format(value));
			if (value == m_value)
				return;
			m_value = value;
			if (!signalsBlocked() && m_onChanged)
				m_onChanged(m_value);
		}

		/// Sets the range (swapped when given in the wrong order) and clamps the value into it.
		void setRange(T minimum, T maximum)
		{
			if (maximum < minimum)
				std::swap(minimum, maximum);
			m_minimum = minimum;
			m_maximum = maximum;
			setValue(m_value);
		}

		/// Sets the amount one step adds; 0 is taken as 1.
		void setSingleStep(T step) { m_step = step == 0 ? T(1) : step; }

		/// Called with the new value whenever it changes and the signals are not blocked.
		void setChangedCallback(std::function<void(T)> callback) { m_onChanged = std::move(callback); }

		void stepBy(int steps) override
		{
			if (steps == 0)
				return;
			// Unsigned arithmetic handles both signed and unsigned values: the distance to a bound fits
			// in 64 unsigned bits, and the step count times the step is compared against it by division.
			const std::uint64_t count = steps > 0 ? std::uint64_t(steps) : std::uint64_t(-std::int64_t(steps));
			const std::uint64_t step = magnitude(m_step);
			const std::uint64_t room =
			    steps > 0 ? std::uint64_t(m_maximum) - std::uint64_t(m_value) : std::uint64_t(m_value) - std::uint64_t(m_minimum);
			T next = steps > 0 ? m_maximum : m_minimum;
			if (count <= room / step)
			{
				const std::uint64_t delta = count * step;
				next = steps > 0 ? T(std::uint64_t(m_value) + delta) : T(std::uint64_t(m_value) - delta);
			}
			setValue(next);
		}

		QValidator::State validate(QString& input, int& pos) const override
		{
			const QString text = input.trimmed();
			if (text.isEmpty() || (text == QLatin1String("-") && m_minimum < 0))
				return QValidator::Intermediate;
			bool ok = false;
			const T parsed = parse(text, ok);
			if (!ok)
				return QValidator::Invalid;
			return parsed >= m_minimum && parsed <= m_maximum ? QValidator::Acceptable : QValidator::Intermediate;
		}

		void fixup(QString& input) const override { input = format(m_value); }

	protected:
		StepEnabled stepEnabled() const override
		{
			StepEnabled enabled = StepNone;
			if (m_value < m_maximum)
				enabled |= StepUpEnabled;
			if (m_value > m_minimum)
				enabled |= StepDownEnabled;
			return enabled;
		}

	private:
		static QString format(T value) { return QString::number(value); }

		static T parse(const QString& text, bool& ok)
		{
			if constexpr (std::is_signed_v<T>)
				return text.toLongLong(&ok);
			else
			{
				// Some Qt versions read "-1" as the largest unsigned number; a sign is never valid here.
				if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')))
				{
					ok = false;
					return 0;
				}
				return text.toULongLong(&ok);
			}
		}

		static std::uint64_t magnitude(T step) { return step < 0 ? std::uint64_t(0) - std::uint64_t(step) : std::uint64_t(step); }

		T clamp(T value) const { return value < m_minimum ? m_minimum : (value > m_maximum ? m_maximum : value); }

		// Takes the typed text when it is a number in range, else shows the current value again.
		void interpret()
		{
			bool ok = false;
			const T parsed = parse(lineEdit()->text().trimmed(), ok);
			if (ok && parsed >= m_minimum && parsed <= m_maximum)
				setValue(parsed);
			else
				lineEdit()->setText(format(m_value));
		}

		T m_value = 0;
		T m_minimum = std::numeric_limits<T>::lowest();
		T m_maximum = std::numeric_limits<T>::max();
		T m_step = 1;
		std::function<void(T)> m_onChanged;
	};
}
