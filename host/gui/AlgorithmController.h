#pragma once

#include "host/lib/DataList.h"

#include <QWidget>

namespace Quorvale
{
	class Algorithm;
	class DisplayWidgetMulti;

	/// Base of every algorithm panel. The host creates the panel through a controller factory, calls
	/// `init` once, and shows it beside its views; the panel must not outlive its algorithm.
	class AlgorithmController : public QWidget
	{
		Q_OBJECT

	public:
		/// `algorithm` is not owned.
		explicit AlgorithmController(Algorithm* algorithm, QWidget* parent = nullptr);
		~AlgorithmController() override;

		/// Builds the panel's content; panels that build nothing leave it empty.
		virtual void init();
		/// The host passes the algorithm's output through here before adding it to its data model;
		/// panels that keep working on the output (an editor of a new graph) take what they need.
		virtual OwningDataList postprocessOutput(OwningDataList output);

		Algorithm* algorithm() const { return m_algorithm; }

		/// The views the panel may show things in (not owned, may be null); the host sets it before `init`.
		void setDisplayWidget(DisplayWidgetMulti* display) { m_display = display; }
		DisplayWidgetMulti* displayWidget() const { return m_display; }

	private:
		Algorithm* m_algorithm;
		DisplayWidgetMulti* m_display = nullptr;
	};
}
