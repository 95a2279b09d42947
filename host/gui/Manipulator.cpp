#include "host/gui/Manipulator.h"

namespace Quorvale
{
	bool Manipulator::handleInputEvent(QEvent* event, const GlView& view) { return m_enabled && sceneEvent(event, view); }

	bool Manipulator::openContextMenu(const QPoint&) { return false; }
}
