#include "host/gui/PropertiesWidget.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include <QCheckBox>
#include <QColor>
#include <QColorDialog>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>

#include "host/core/Configurable.h"
#include "host/core/Log.h"
#include "host/core/ParameterBase.h"
#include "host/core/PropertyText.h"
#include "host/core/String.h"
#include "host/gui/DoubleSpinBox.h"
#include "host/gui/IntegerSpinBox.h"

namespace Quorvale
{
	namespace
	{
		using PropertiesDetail::ParamType;
		using Commit = std::function<void(const PropertyValue&)>;
		using Show = std::function<void(const PropertyValue&)>;

		QString toQString(const std::string& text) { return QString::fromStdString(text); }

		std::optional<std::string> attributeOf(const Properties::Param& param, const std::string& key)
		{
			for (const auto& [name, value] : param.attributes)
				if (name == key)
					return value;
			return std::nullopt;
		}

		/// A numeric attribute ("min", "max", "step") read as `T`; text that is no such number is reported and ignored.
		template <typename T>
		std::optional<T> numberAttribute(const Properties::Param& param, const char* key)
		{
			const auto text = attributeOf(param, key);
			if (!text)
				return std::nullopt;
			const QString trimmed = toQString(*text).trimmed();
			bool ok = false;
			T value{};
			if constexpr (std::is_same_v<T, std::int64_t>)
				value = trimmed.toLongLong(&ok);
			else if constexpr (std::is_same_v<T, std::uint64_t>)
				value = trimmed.startsWith(QLatin1Char('-')) ? 0 : trimmed.toULongLong(&ok);
			else
				value = trimmed.toDouble(&ok);
			if (!ok)
			{
				Log::warn("Parameter '" + param.name + "': attribute '" + key + "' is not a number: '" + *text + "'");
				return std::nullopt;
			}
			return value;
		}

		/// The value converted to the type that `like` holds, or empty when it does not convert.
		std::optional<PropertyValue> convertLike(const PropertyValue& like, const PropertyValue& value)
		{
			return std::visit(
			    [&value](const auto& held) -> std::optional<PropertyValue>
			    {
				    using T = std::decay_t<decltype(held)>;
				    if (auto converted = PropertiesDetail::convert<T>(value))
					    return PropertyValue(std::in_place_type<T>, std::move(*converted));
				    return std::nullopt;
			    },
			    like);
		}

		QHBoxLayout* compactRow(QWidget* container)
		{
			auto* layout = new QHBoxLayout(container);
			layout->setContentsMargins(0, 0, 0, 0);
			return layout;
		}

		// Integer and floating-point boxes keep the range the attributes give, widened just enough to
		// show a model value outside it as it is rather than clamped.

		struct IntBox
		{
			QSpinBox* box;
			int lo;
			int hi;
			void show(int value) const
			{
				const QSignalBlocker block(box);
				box->setRange(std::min(lo, value), std::max(hi, value));
				box->setValue(value);
			}
		};

		IntBox makeIntBox(const Properties::Param& param, QWidget* parent)
		{
			constexpr double lowest = std::numeric_limits<int>::lowest();
			constexpr double highest = std::numeric_limits<int>::max();
			IntBox result{new QSpinBox(parent), std::numeric_limits<int>::lowest(), std::numeric_limits<int>::max()};
			if (auto lo = numberAttribute<double>(param, "min"))
				result.lo = static_cast<int>(std::clamp(std::ceil(*lo), lowest, highest));
			if (auto hi = numberAttribute<double>(param, "max"))
				result.hi = static_cast<int>(std::clamp(std::floor(*hi), lowest, highest));
			if (auto step = numberAttribute<double>(param, "step"); step && *step >= 1)
				result.box->setSingleStep(static_cast<int>(std::min(*step, highest)));
			result.box->setKeyboardTracking(false);
			result.box->setRange(result.lo, result.hi);
			return result;
		}

		struct RealBox
		{
			DoubleSpinBox* box;
			double lo;
			double hi;
			void show(double value) const
			{
				const QSignalBlocker block(box);
				if (!std::isnan(value))
					box->setRange(std::min(lo, value), std::max(hi, value));
				box->setValue(value);
			}
		};

		RealBox makeRealBox(const Properties::Param& param, QWidget* parent, bool singlePrecision)
		{
			const double limit = singlePrecision ? std::numeric_limits<float>::max() : std::numeric_limits<double>::max();
			RealBox result{new DoubleSpinBox(parent), -limit, limit};
			result.box->setSinglePrecision(singlePrecision);
			if (auto lo = numberAttribute<double>(param, "min"))
				result.lo = *lo;
			if (auto hi = numberAttribute<double>(param, "max"))
				result.hi = *hi;
			if (auto step = numberAttribute<double>(param, "step"); step && *step > 0)
				result.box->setSingleStep(*step);
			result.box->setKeyboardTracking(false);
			result.box->setRange(result.lo, result.hi);
			return result;
		}

		QWidget* boolEditor(QWidget* parent, const Commit& commit, Show& show)
		{
			auto* box = new QCheckBox(parent);
			show = [box](const PropertyValue& value)
			{
				const QSignalBlocker block(box);
				box->setChecked(std::get<bool>(value));
			};
			QObject::connect(box, &QCheckBox::toggled, box, [commit](bool checked) { commit(checked); });
			return box;
		}

		QWidget* enumerationEditor(const std::string& values, QWidget* parent, const Commit& commit, Show& show)
		{
			auto* combo = new QComboBox(parent);
			// Empty names keep their place: the index is the value.
			for (const QString& name : toQString(values).split(QLatin1Char(',')))
				combo->addItem(name.trimmed());
			show = [combo](const PropertyValue& value)
			{
				const QSignalBlocker block(combo);
				const int index = std::get<int>(value);
				combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
			};
			QObject::connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), combo,
			                 [commit](int index)
			                 {
				                 if (index >= 0)
					                 commit(index);
			                 });
			return combo;
		}

		/// Names of a comma-separated "values" list, trimmed; empty names are dropped.
		QStringList choiceNames(const std::string& values)
		{
			QStringList names;
			for (const QString& name : toQString(values).split(QLatin1Char(',')))
				if (!name.trimmed().isEmpty())
					names << name.trimmed();
			return names;
		}

		/// A combo box of the names in "values"; an optional text also offers "(none)" first. A value that
		/// is not among the names is shown as an extra entry rather than lost.
		QWidget* choiceEditor(bool optional, QWidget* parent, const Commit& commit, Show& show,
		                      std::function<void(const std::string&)>& setChoices)
		{
			auto* combo = new QComboBox(parent);
			// The value shown; empty until the first `show`.
			auto current = std::make_shared<std::optional<PropertyValue>>();
			// Items carry the text as data; the "(none)" item carries no data.
			const auto showCurrent = [combo, current]
			{
				if (!*current)
					return;
				const QSignalBlocker block(combo);
				std::optional<std::string> text;
				if (const auto* o = std::get_if<std::optional<std::string>>(&**current))
					text = *o;
				else
					text = std::get<std::string>(**current);
				if (!text)
				{
					combo->setCurrentIndex(combo->findData(QVariant()));
					return;
				}
				int index = combo->findData(toQString(*text));
				if (index < 0)
				{
					combo->addItem(toQString(*text), toQString(*text));
					index = combo->count() - 1;
				}
				combo->setCurrentIndex(index);
			};
			setChoices = [combo, optional, showCurrent](const std::string& values)
			{
				const QSignalBlocker block(combo);
				combo->clear();
				if (optional)
					combo->addItem(QObject::tr("(none)"));
				for (const QString& name : choiceNames(values))
					combo->addItem(name, name);
				showCurrent();
			};
			show = [current, showCurrent](const PropertyValue& value)
			{
				*current = value;
				showCurrent();
			};
			QObject::connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), combo,
			                 [combo, commit, optional](int index)
			                 {
				                 if (index < 0)
					                 return;
				                 const QVariant data = combo->itemData(index);
				                 if (!optional)
					                 commit(data.toString().toStdString());
				                 else
					                 commit(data.isValid() ? std::optional<std::string>(data.toString().toStdString()) : std::optional<std::string>());
			                 });
			return combo;
		}

		QWidget* intEditor(const Properties::Param& param, QWidget* parent, const Commit& commit, Show& show)
		{
			const IntBox box = makeIntBox(param, parent);
			show = [box](const PropertyValue& value) { box.show(std::get<int>(value)); };
			QObject::connect(box.box, QOverload<int>::of(&QSpinBox::valueChanged), box.box, [commit](int value) { commit(value); });
			return box.box;
		}

		template <typename T>
		QWidget* integer64Editor(const Properties::Param& param, QWidget* parent, const Commit& commit, Show& show)
		{
			auto* box = new IntegerSpinBox<T>(parent);
			const T lo = numberAttribute<T>(param, "min").value_or(std::numeric_limits<T>::lowest());
			const T hi = numberAttribute<T>(param, "max").value_or(std::numeric_limits<T>::max());
			if (auto step = numberAttribute<T>(param, "step"); step && *step > 0)
				box->setSingleStep(*step);
			box->setRange(lo, hi);
			show = [box, lo, hi](const PropertyValue& value)
			{
				const QSignalBlocker block(box);
				const T v = std::get<T>(value);
				box->setRange(std::min(lo, v), std::max(hi, v));
				box->setValue(v);
			};
			box->setChangedCallback([commit](T value) { commit(value); });
			return box;
		}

		template <typename T>
		QWidget* realEditor(const Properties::Param& param, QWidget* parent, const Commit& commit, Show& show)
		{
			const RealBox box = makeRealBox(param, parent, std::is_same_v<T, float>);
			show = [box](const PropertyValue& value) { box.show(static_cast<double>(std::get<T>(value))); };
			QObject::connect(box.box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), box.box,
			                 [commit](double value) { commit(static_cast<T>(value)); });
			return box.box;
		}

		QWidget* stringEditor(QWidget* parent, const Commit& commit, Show& show)
		{
			auto* edit = new QLineEdit(parent);
			show = [edit](const PropertyValue& value)
			{
				const QSignalBlocker block(edit);
				edit->setText(toQString(std::get<std::string>(value)));
			};
			QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit, commit] { commit(edit->text().toStdString()); });
			return edit;
		}

		QWidget* optionalIntEditor(const Properties::Param& param, QWidget* parent, const Commit& commit, Show& show)
		{
			auto* container = new QWidget(parent);
			auto* layout = compactRow(container);
			auto* engaged = new QCheckBox(container);
			const IntBox box = makeIntBox(param, container);
			box.box->setEnabled(false);
			layout->addWidget(engaged);
			layout->addWidget(box.box, 1);
			show = [engaged, box](const PropertyValue& value)
			{
				const auto& v = std::get<std::optional<int>>(value);
				const QSignalBlocker block(engaged);
				engaged->setChecked(v.has_value());
				box.box->setEnabled(v.has_value());
				if (v)
					box.show(*v);
			};
			QObject::connect(engaged, &QCheckBox::toggled, container,
			                 [commit, box](bool on)
			                 {
				                 box.box->setEnabled(on);
				                 commit(on ? std::optional<int>(box.box->value()) : std::optional<int>());
			                 });
			QObject::connect(box.box, QOverload<int>::of(&QSpinBox::valueChanged), container,
			                 [commit, engaged](int value)
			                 {
				                 if (engaged->isChecked())
					                 commit(std::optional<int>(value));
			                 });
			return container;
		}

		QWidget* optionalStringEditor(QWidget* parent, const Commit& commit, Show& show)
		{
			auto* container = new QWidget(parent);
			auto* layout = compactRow(container);
			auto* engaged = new QCheckBox(container);
			auto* edit = new QLineEdit(container);
			edit->setEnabled(false);
			layout->addWidget(engaged);
			layout->addWidget(edit, 1);
			show = [engaged, edit](const PropertyValue& value)
			{
				const auto& v = std::get<std::optional<std::string>>(value);
				const QSignalBlocker blockCheck(engaged);
				const QSignalBlocker blockEdit(edit);
				engaged->setChecked(v.has_value());
				edit->setEnabled(v.has_value());
				if (v)
					edit->setText(toQString(*v));
			};
			QObject::connect(engaged, &QCheckBox::toggled, container,
			                 [commit, edit](bool on)
			                 {
				                 edit->setEnabled(on);
				                 commit(on ? std::optional<std::string>(edit->text().toStdString()) : std::optional<std::string>());
			                 });
			QObject::connect(edit, &QLineEdit::editingFinished, container,
			                 [commit, engaged, edit]
			                 {
				                 if (engaged->isChecked())
					                 commit(std::optional<std::string>(edit->text().toStdString()));
			                 });
			return container;
		}

		template <typename Vector>
		QWidget* vectorEditor(const Properties::Param& param, QWidget* parent, const Commit& commit, Show& show)
		{
			auto* container = new QWidget(parent);
			auto* layout = compactRow(container);
			std::vector<RealBox> boxes;
			for (int i = 0; i < Vector::SizeAtCompileTime; ++i)
			{
				boxes.push_back(makeRealBox(param, container, false));
				layout->addWidget(boxes.back().box);
			}
			show = [boxes](const PropertyValue& value)
			{
				const auto& v = std::get<Vector>(value);
				for (int i = 0; i < Vector::SizeAtCompileTime; ++i)
					boxes[static_cast<size_t>(i)].show(v[i]);
			};
			for (const RealBox& box : boxes)
				QObject::connect(box.box, QOverload<double>::of(&QDoubleSpinBox::valueChanged), container,
				                 [commit, boxes]
				                 {
					                 Vector v;
					                 for (int i = 0; i < Vector::SizeAtCompileTime; ++i)
						                 v[i] = boxes[static_cast<size_t>(i)].box->value();
					                 commit(v);
				                 });
			return container;
		}

		QColor toColor(const Eigen::Vector4d& rgba)
		{
			const auto channel = [](double c) { return std::isnan(c) ? 0.0 : std::clamp(c, 0.0, 1.0); };
			return QColor::fromRgbF(channel(rgba[0]), channel(rgba[1]), channel(rgba[2]), channel(rgba[3]));
		}

		QWidget* colorEditor(const QString& title, QWidget* parent, const Commit& commit, Show& show)
		{
			auto* button = new QPushButton(parent);
			button->setAutoDefault(false);
			auto current = std::make_shared<Eigen::Vector4d>(Eigen::Vector4d::Zero());
			show = [button, current](const PropertyValue& value)
			{
				*current = std::get<Eigen::Vector4d>(value);
				QPixmap swatch(32, 16);
				swatch.fill(toColor(*current));
				button->setIcon(swatch);
				button->setIconSize(swatch.size());
			};
			// `open` returns at once (the dialog is window-modal), so no nested event loop runs; the dialog deletes itself when closed.
			QObject::connect(button, &QPushButton::clicked, button,
			                 [button, current, commit, title]
			                 {
				                 auto* dialog = new QColorDialog(toColor(*current), button);
				                 dialog->setOption(QColorDialog::ShowAlphaChannel);
				                 dialog->setAttribute(Qt::WA_DeleteOnClose);
				                 dialog->setWindowTitle(title);
				                 QObject::connect(dialog, &QColorDialog::colorSelected, button,
				                                  [commit](const QColor& c)
				                                  { commit(Eigen::Vector4d(c.redF(), c.greenF(), c.blueF(), c.alphaF())); });
				                 dialog->open();
			                 });
			return button;
		}

		/// Any other type (matrices, lists) as its text; text that does not parse is reported and replaced.
		QWidget* textEditor(const Properties::Param& param, QWidget* parent, const Commit& commit, Show& show)
		{
			auto* edit = new QLineEdit(parent);
			const std::string typeName = PropertiesDetail::typeName(param.value);
			auto shown = std::make_shared<PropertyValue>(param.value);
			show = [edit, shown](const PropertyValue& value)
			{
				*shown = value;
				const QSignalBlocker block(edit);
				edit->setText(toQString(PropertyText::formatValue(value)));
			};
			QObject::connect(edit, &QLineEdit::editingFinished, edit,
			                 [edit, commit, show, shown, typeName, name = param.name]
			                 {
				                 const std::string text = edit->text().toStdString();
				                 if (auto parsed = PropertyText::parseValue(text, typeName))
					                 commit(*parsed);
				                 else
				                 {
					                 Log::warn("Parameter '" + name + "': '" + text + "' is no valid " + typeName + " value");
					                 show(*shown);
				                 }
			                 });
			return edit;
		}
	}

	PropertiesWidget::PropertiesWidget(QWidget* parent)
	    : QWidget(parent)
	{
		auto* layout = new QVBoxLayout(this);
		layout->setContentsMargins(0, 0, 0, 0);
		rebuild();
	}

	PropertiesWidget::~PropertiesWidget() = default;

	void PropertiesWidget::setProperties(const Properties& properties)
	{
		m_receiver.disconnectAll();
		m_configurable = nullptr;
		const bool sameRows = sameLayout(m_properties, properties);
		m_properties = properties;
		if (sameRows)
			refreshRows();
		else
			rebuild();
	}

	bool PropertiesWidget::sameLayout(const Properties& a, const Properties& b)
	{
		const auto& x = a.params();
		const auto& y = b.params();
		if (x.size() != y.size())
			return false;
		for (size_t i = 0; i < x.size(); ++i)
			if (x[i].name != y[i].name || x[i].value.index() != y[i].value.index() || x[i].type != y[i].type)
				return false;
		return true;
	}

	void PropertiesWidget::refreshRows()
	{
		for (const Row& row : m_rows)
			refreshRow(row);
	}

	void PropertiesWidget::refreshRow(const Row& row)
	{
		const auto* param = m_properties.findParam(row.name);
		if (!param)
			return;
		if (row.setChoices)
			row.setChoices(attributeOf(*param, "values").value_or(std::string()));
		const QString tooltip = toQString(attributeOf(*param, "tooltip").value_or(std::string()));
		row.label->setToolTip(tooltip);
		row.editor->setToolTip(tooltip);
		row.label->setText(labelText(*param));
		const bool hidden = attributeOf(*param, "hidden") == std::optional<std::string>("true");
		row.label->setHidden(hidden);
		row.editor->setHidden(hidden);
		row.show(param->value);
	}

	void PropertiesWidget::setConfigurable(Configurable* configurable)
	{
		m_receiver.disconnectAll();
		m_configurable = configurable;
		m_properties = Properties();
		if (configurable)
		{
			configurable->configuration(m_properties);
			configurable->signalParametersChanged.connect(&m_receiver, [this](ParameterBase* parameter) { onParameterChanged(parameter); });
			configurable->signalAttributeChanged.connect(&m_receiver, [this](ParameterBase* parameter) { onAttributeChanged(parameter->name()); });
		}
		rebuild();
	}

	void PropertiesWidget::updateValues(const Properties& values)
	{
		for (const auto& param : values.params())
			showValue(param.name, param.value);
	}

	void PropertiesWidget::setFilter(Filter filter)
	{
		m_filter = std::move(filter);
		rebuild();
	}

	void PropertiesWidget::setSplitCamelCase(bool split)
	{
		m_splitCamelCase = split;
		for (const Row& row : m_rows)
			if (const auto* param = m_properties.findParam(row.name))
				row.label->setText(labelText(*param));
	}

	QWidget* PropertiesWidget::editor(const std::string& name) const
	{
		const Row* row = findRow(name);
		return row ? row->editor : nullptr;
	}

	QLabel* PropertiesWidget::label(const std::string& name) const
	{
		const Row* row = findRow(name);
		return row ? row->label : nullptr;
	}

	void PropertiesWidget::rebuild()
	{
		// Rows live in one container, so replacing it removes them all. A row's editor may still be
		// signalling (a handler of its change asked for new rows): the old container leaves at once and is
		// deleted from the event loop.
		if (m_content)
		{
			m_content->hide();
			m_content->setParent(nullptr);
			m_content->deleteLater();
		}
		m_rows.clear();
		m_content = new QWidget(this);
		m_grid = new QGridLayout(m_content);
		m_grid->setContentsMargins(0, 0, 0, 0);
		m_grid->setColumnStretch(1, 1);
		layout()->addWidget(m_content);
		for (const auto& param : m_properties.params())
			if (!m_filter || m_filter(param))
				addRow(param);
	}

	void PropertiesWidget::addRow(const Properties::Param& param)
	{
		Row row;
		row.name = param.name;
		row.editor = createEditor(param, row);
		row.label = new QLabel(labelText(param), m_content);
		row.label->setBuddy(row.editor);
		const int index = static_cast<int>(m_rows.size());
		m_grid->addWidget(row.label, index, 0);
		m_grid->addWidget(row.editor, index, 1);
		if (const auto tooltip = attributeOf(param, "tooltip"))
		{
			row.label->setToolTip(toQString(*tooltip));
			row.editor->setToolTip(toQString(*tooltip));
		}
		if (attributeOf(param, "hidden") == std::optional<std::string>("true"))
		{
			row.label->hide();
			row.editor->hide();
		}
		row.show(param.value);
		m_rows.push_back(std::move(row));
	}

	QWidget* PropertiesWidget::createEditor(const Properties::Param& param, Row& row)
	{
		const Commit commit = [this, name = param.name](const PropertyValue& value) { this->commit(name, value); };
		const PropertyValue& value = param.value;
		if (std::holds_alternative<bool>(value))
			return boolEditor(m_content, commit, row.show);
		if (std::holds_alternative<int>(value))
		{
			const auto values = attributeOf(param, "values");
			if (param.type == ParamType::Enumeration && values)
				return enumerationEditor(*values, m_content, commit, row.show);
			return intEditor(param, m_content, commit, row.show);
		}
		if (std::holds_alternative<std::int64_t>(value))
			return integer64Editor<std::int64_t>(param, m_content, commit, row.show);
		if (std::holds_alternative<std::uint64_t>(value))
			return integer64Editor<std::uint64_t>(param, m_content, commit, row.show);
		if (std::holds_alternative<float>(value))
			return realEditor<float>(param, m_content, commit, row.show);
		if (std::holds_alternative<double>(value))
			return realEditor<double>(param, m_content, commit, row.show);
		const bool text = std::holds_alternative<std::string>(value);
		const bool choice = param.type == ParamType::Choice || param.type == ParamType::TextChoice;
		if (choice && (text || std::holds_alternative<std::optional<std::string>>(value)))
		{
			QWidget* combo = choiceEditor(!text, m_content, commit, row.show, row.setChoices);
			row.setChoices(attributeOf(param, "values").value_or(std::string()));
			return combo;
		}
		if (text)
			return stringEditor(m_content, commit, row.show);
		if (std::holds_alternative<std::optional<int>>(value))
			return optionalIntEditor(param, m_content, commit, row.show);
		if (std::holds_alternative<std::optional<std::string>>(value))
			return optionalStringEditor(m_content, commit, row.show);
		if (std::holds_alternative<Eigen::Vector4d>(value) && param.type == ParamType::Color)
			return colorEditor(labelText(param), m_content, commit, row.show);
		if (std::holds_alternative<Eigen::Vector2d>(value))
			return vectorEditor<Eigen::Vector2d>(param, m_content, commit, row.show);
		if (std::holds_alternative<Eigen::Vector3d>(value))
			return vectorEditor<Eigen::Vector3d>(param, m_content, commit, row.show);
		if (std::holds_alternative<Eigen::Vector4d>(value))
			return vectorEditor<Eigen::Vector4d>(param, m_content, commit, row.show);
		return textEditor(param, m_content, commit, row.show);
	}

	QString PropertiesWidget::labelText(const Properties::Param& param) const
	{
		if (const auto label = attributeOf(param, "label"))
			return toQString(*label);
		return toQString(m_splitCamelCase ? String::splitCamelCase(param.name) : param.name);
	}

	const PropertiesWidget::Row* PropertiesWidget::findRow(const std::string& name) const
	{
		for (const Row& row : m_rows)
			if (row.name == name)
				return &row;
		return nullptr;
	}

	void PropertiesWidget::commit(const std::string& name, const PropertyValue& value)
	{
		const Properties::Param* stored = m_properties.findParam(name);
		if (!stored || PropertiesDetail::valuesEqual(stored->value, value))
			return;
		const PropertyValue before = stored->value;
		if (!m_configurable)
			showValue(name, value);
		else
		{
			Properties single;
			single.setParamValue(name, value);
			m_configurable->configure(single);
			// The configurable may keep or adjust the value: show what it holds now.
			Properties now;
			m_configurable->configuration(now);
			if (const auto* param = now.findParam(name))
				showValue(name, param->value);
		}
		const auto* now = m_properties.findParam(name);
		if (!now || !PropertiesDetail::valuesEqual(before, now->value))
			emit parameterChanged(toQString(name));
	}

	void PropertiesWidget::showValue(const std::string& name, const PropertyValue& value)
	{
		const Properties::Param* stored = m_properties.findParam(name);
		if (!stored)
			return;
		const auto converted = convertLike(stored->value, value);
		if (!converted)
			return;
		m_properties.setParamValue(name, *converted);
		if (const Row* row = findRow(name))
			row->show(*converted);
	}

	void PropertiesWidget::onParameterChanged(ParameterBase* parameter)
	{
		Properties now;
		parameter->configuration(now);
		const auto* param = now.findParam(parameter->name());
		if (!param)
			return;
		// Widgets belong to their thread: a change made by an algorithm running elsewhere is shown later,
		// from the event loop (and dropped when the widget is gone by then).
		if (QThread::currentThread() != thread())
		{
			QMetaObject::invokeMethod(
			    this, [this, name = param->name, value = param->value] { showValue(name, value); }, Qt::QueuedConnection);
			return;
		}
		showValue(param->name, param->value);
	}

	void PropertiesWidget::onAttributeChanged(const std::string& name)
	{
		if (QThread::currentThread() != thread())
		{
			QMetaObject::invokeMethod(this, [this, name] { onAttributeChanged(name); }, Qt::QueuedConnection);
			return;
		}
		if (!m_configurable)
			return;
		// The row shows the attributes the parameter has now ("hidden", "values", "tooltip", "label").
		Properties now;
		m_configurable->configuration(now);
		if (!sameLayout(m_properties, now))
			return;
		m_properties = std::move(now);
		if (const Row* row = findRow(name))
			refreshRow(*row);
	}
}
