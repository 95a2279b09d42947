#include "src/gui/ViewOverlay.h"

#include "host/gui/DisplayWidgetMulti.h"
#include "host/gui/GlView.h"
#include "host/gui/View.h"

namespace Quorvale
{
	ViewOverlay::ViewOverlay(DisplayWidgetMulti* display, GlObject& object)
	    : m_display(display)
	    , m_object(object)
	{
	}

	ViewOverlay::~ViewOverlay() { detach(); }

	void ViewOverlay::attachToAllViews()
	{
		if (m_display)
			for (GUI::View* view : m_display->views())
				view->glView()->addObject(&m_object);
	}

	void ViewOverlay::attachForGraph(bool planarGraph)
	{
		if (!m_display)
			return;
		if (planarGraph)
			m_display->view2D(0)->glView()->addObject(&m_object);
		else
			for (GUI::View* view : m_display->viewsSlice())
				view->glView()->addObject(&m_object);
	}

	void ViewOverlay::detach()
	{
		if (m_display)
			for (GUI::View* view : m_display->views())
				view->glView()->removeObject(&m_object);
	}

	void ViewOverlay::repaint() const
	{
		if (m_display)
			m_display->requestUpdate();
	}
}
