#pragma once

#include "host/lib/DataList.h"

#include <QWidget>

namespace Quorvale
{
	class DataModel;
	class DisplayWidgetMulti;

	/// Base of every data panel: a panel shown for a selection of data objects (not owned), created by a
	/// controller factory; the host calls `init` once and tells it when the selection or the shown data change.
	class DataController : public QWidget
	{
		Q_OBJECT

	public:
		explicit DataController(DataList data = {}, QWidget* parent = nullptr);
		~DataController() override;

		/// Builds the panel's content.
		virtual void init();
		/// The host's selection changed; the default takes it as the panel's data.
		virtual void onSelectedDataChanged(const DataList& selected);
		/// The set of data shown in the views changed; the default does nothing.
		virtual void onVisibleDataChanged(const DataList& visible);

		const DataList& data() const { return m_data; }

		/// Where the panel lives: the host's data model and display widget (not owned, either may be null);
		/// set by the host before `init`.
		void setHostContext(DataModel* model, DisplayWidgetMulti* display);
		DataModel* dataModel() const { return m_model; }
		DisplayWidgetMulti* displayWidget() const { return m_display; }

	private:
		DataList m_data;
		DataModel* m_model = nullptr;
		DisplayWidgetMulti* m_display = nullptr;
	};
}
