#pragma once

#include "host/lib/DataList.h"

#include <QWidget>

namespace Quorvale
{
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

	private:
		DataList m_data;
	};
}
