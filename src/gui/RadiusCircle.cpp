#include "src/gui/RadiusCircle.h"

#include "host/gui/GlView.h"

#include <algorithm>

namespace Quorvale
{
	RadiusCircle::RadiusCircle(DisplayWidgetMulti* display)
	    : m_overlay(display, m_circle)
	{
		m_circle.setRadius(m_radius);
		m_circle.setVisible(false);
	}

	void RadiusCircle::step(int direction)
	{
		if (direction == 0)
			return;
		m_radius += (direction > 0 ? 1.0 : -1.0) * 0.03 * (m_maximum - m_minimum);
		m_radius = std::clamp(m_radius, m_minimum, m_maximum);
		m_circle.setRadius(m_radius);
	}

	void RadiusCircle::placeAt(const GlView& view, const Eigen::Vector3d& centre)
	{
		const auto [right, up] = view.viewState().unprojectPixelIncrement(centre);
		m_circle.setCenter(centre);
		m_circle.setAxes(right, up);
		m_circle.setRadius(m_radius);
		m_circle.setVisible(true);
	}

	void RadiusCircle::attachForGraph(bool planarGraph)
	{
		m_overlay.detach();
		m_overlay.attachForGraph(planarGraph);
	}
}
