#pragma once

#include "host/gui/AlgorithmController.h"

#include <functional>
#include <string>

class QPushButton;

namespace Quorvale
{
	class PropertiesWidget;

	/// The panel of an algorithm without one of its own: its parameters in a `PropertiesWidget`
	/// (every change goes straight to the algorithm) and a "Compute" button.
	class DefaultAlgorithmController : public AlgorithmController
	{
		Q_OBJECT

	public:
		/// How the Compute button runs the algorithm. By default `AlgorithmRunner::run` without progress
		/// receiver: status -1, `compute`, an exception logged and turned into status 1.
		using Runner = std::function<void(Algorithm&)>;

		/// `title` becomes the window title (empty in every panel the plug-ins make). The two flags are
		/// options for the shell that embeds the panel; the panel keeps them and does not act on them.
		DefaultAlgorithmController(Algorithm* algorithm, const std::string& title, bool firstFlag, bool secondFlag,
		                           QWidget* parent = nullptr);
		~DefaultAlgorithmController() override;

		/// Builds the parameter editor (names split into words) and the Compute button; once only.
		void init() override;

		/// Replaces how the Compute button runs the algorithm (the host runs it with its progress display).
		void setRunner(Runner runner);
		/// Hides (or shows again) the Compute button; may be called before `init`.
		void hideComputeButton(bool hide = true);

		const std::string& title() const { return m_title; }
		bool firstFlag() const { return m_firstFlag; }
		bool secondFlag() const { return m_secondFlag; }
		/// The parameter editor and the Compute button; null before `init`.
		PropertiesWidget* propertiesWidget() const { return m_properties; }
		QPushButton* computeButton() const { return m_computeButton; }

	public slots:
		/// Runs the algorithm through the runner; nothing happens without an algorithm.
		virtual void onCompute();

	private:
		std::string m_title;
		bool m_firstFlag;
		bool m_secondFlag;
		bool m_computeButtonHidden = false;
		Runner m_runner;
		PropertiesWidget* m_properties = nullptr;
		QPushButton* m_computeButton = nullptr;
	};
}
