#pragma once

#include "host/gui/AlgorithmController.h"

class QLineEdit;
class QToolButton;

namespace Quorvale
{
	class IoAlgorithm;
	class PropertiesWidget;

	/// The panel of an input/output algorithm: the file location (typed, or chosen with a browse button)
	/// and the parameters the user may set, those with the attribute "useroption" = "rw".
	class IoController : public AlgorithmController
	{
		Q_OBJECT

	public:
		/// The two flags are options for the shell that embeds the panel; the panel keeps them and does not act on them.
		IoController(IoAlgorithm* algorithm, bool firstFlag, bool secondFlag, QWidget* parent = nullptr);
		~IoController() override;

		/// Builds the location row and the parameter editor; once only.
		void init() override;

		IoAlgorithm* ioAlgorithm() const { return m_ioAlgorithm; }
		bool firstFlag() const { return m_firstFlag; }
		bool secondFlag() const { return m_secondFlag; }
		/// The widgets; null before `init`.
		QLineEdit* locationEdit() const { return m_location; }
		QToolButton* browseButton() const { return m_browse; }
		PropertiesWidget* propertiesWidget() const { return m_properties; }

	public slots:
		/// Opens a file dialog (open or save, by the algorithm's mode) filtered by the supported extensions;
		/// the chosen file becomes the location. The dialog does not block the caller.
		void onBrowse();

	private:
		void applyLocation(const QString& location);

		IoAlgorithm* m_ioAlgorithm;
		bool m_firstFlag;
		bool m_secondFlag;
		QLineEdit* m_location = nullptr;
		QToolButton* m_browse = nullptr;
		PropertiesWidget* m_properties = nullptr;
	};
}
