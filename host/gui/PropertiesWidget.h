#pragma once

#include "host/core/Properties.h"
#include "host/core/Signal.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QGridLayout;
class QLabel;

namespace Quorvale
{
	class Configurable;
	class ParameterBase;

	/// Editor of named values, one row per parameter, either of a `Properties` set (the widget edits its
	/// own copy) or of a `Configurable` (every change is written back through `configure`, and changes of
	/// the parameters and of their attributes show up in the rows).
	///
	/// Editors by value type: check box (bool); spin boxes (int, 64-bit integers, float, double) bounded
	/// by the attributes "min" and "max" and stepped by "step"; combo box for enumerations (type word 8
	/// with "values", comma-separated names, the index is the value); colour button for type word 7 on a
	/// 4-vector (RGBA in [0, 1]); combo box of the "values" names for type word 137 on a text or optional
	/// text ("(none)" first for the optional); line edit (string); check box engaging a spin box or line edit (optional
	/// int, optional string); a row of spin boxes (2-, 3-, 4-vectors); the value's text in a line edit for
	/// the other types (matrices, lists). "hidden" = "true" hides the row, "label" replaces the name as
	/// row label and "tooltip" becomes the row's tool tip. Sub-properties get no rows.
	///
	/// `parameterChanged` is emitted only for changes the user makes; values set from the model never emit.
	class PropertiesWidget : public QWidget
	{
		Q_OBJECT

	public:
		/// Decides which parameters get a row; all do while no filter is set.
		using Filter = std::function<bool(const Properties::Param&)>;

		explicit PropertiesWidget(QWidget* parent = nullptr);
		~PropertiesWidget() override;

		/// Shows a copy of `properties` for editing; detaches from a configurable. When the parameters are
		/// those shown (names, value types and type words in order) the rows stay and take the new values and
		/// attributes, so this may be called from a handler of `parameterChanged`.
		void setProperties(const Properties& properties);
		/// The edited values (in configurable mode: the configuration as last shown).
		const Properties& properties() const { return m_properties; }

		/// Edits the parameters of `configurable`, replacing all rows; null detaches. The configurable is
		/// not owned and must outlive the widget or be detached first.
		void setConfigurable(Configurable* configurable);
		Configurable* configurable() const { return m_configurable; }

		/// Shows the values `values` holds for parameters that have a row, converted to the row's type,
		/// without emitting `parameterChanged` and without writing to the configurable.
		void updateValues(const Properties& values);

		/// Sets the filter and rebuilds the rows.
		void setFilter(Filter filter);

		/// Shows names without a "label" attribute split into words ("searchRange" as "Search range").
		void setSplitCamelCase(bool split);
		bool splitCamelCase() const { return m_splitCamelCase; }

		/// The editor of a parameter's row (the container of a compound editor), or null without a row.
		QWidget* editor(const std::string& name) const;
		/// The label of a parameter's row, or null without a row.
		QLabel* label(const std::string& name) const;

	signals:
		/// The user changed the value of the named parameter (already written back in configurable mode).
		void parameterChanged(const QString& name);

	private:
		struct Row
		{
			std::string name;
			QLabel* label = nullptr;
			QWidget* editor = nullptr;
			/// Puts a value of the row's type into the editor without emitting.
			std::function<void(const PropertyValue&)> show;
			/// Replaces the names a choice editor offers (set for choice rows only).
			std::function<void(const std::string&)> setChoices;
		};

		/// True when both sets have the same parameter names, value types and type words in the same order.
		static bool sameLayout(const Properties& a, const Properties& b);
		/// Shows the stored values and attributes in the existing rows.
		void refreshRows();
		void refreshRow(const Row& row);

		void rebuild();
		void addRow(const Properties::Param& param);
		QWidget* createEditor(const Properties::Param& param, Row& row);
		QString labelText(const Properties::Param& param) const;
		const Row* findRow(const std::string& name) const;
		/// Takes a value the user entered: stores it, writes it to the configurable, emits on a change.
		void commit(const std::string& name, const PropertyValue& value);
		/// Stores and shows a value that came from the model.
		void showValue(const std::string& name, const PropertyValue& value);
		void onParameterChanged(ParameterBase* parameter);
		/// Shows the parameter's attributes as they are now (on the GUI thread).
		void onAttributeChanged(const std::string& name);

		Properties m_properties;
		Configurable* m_configurable = nullptr;
		SignalReceiver m_receiver; ///< holds the connection to the configurable's change signal
		Filter m_filter;
		bool m_splitCamelCase = false;
		QWidget* m_content = nullptr; ///< parent of all rows, replaced on rebuild
		QGridLayout* m_grid = nullptr;
		std::vector<Row> m_rows;
	};
}
