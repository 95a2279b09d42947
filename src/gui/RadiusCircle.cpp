#include "src/gui/RadiusCircle.h"

#include "host/gui/GlView.h"

#include <algorithm>

namespace Quorvale
{
	namespace
	{
		constexpr double InitialRadius = 50.0;
		constexpr double SmallestRadius = 1.0;
		constexpr double LargestRadius = 100.0;
	}

	RadiusCircle::RadiusCircle(DisplayWidgetMulti* display)
	    : m_overlay(display, m_circle)
	{
		m_circle.setRadius(InitialRadius);
		m_circle.setVisible(false);
	}

	void RadiusCircle::step(int direction)
	{
		if (direction == 0)
			return;
		const double radius = m_circle.radius() + (direction > 0 ? 1.0 : -1.0) * 0.03 * (LargestRadius - SmallestRadius);
		m_circle.setRadius(std::clamp(radius, SmallestRadius, LargestRadius));
	}

	void RadiusCircle::placeAt(const GlView& view, const Eigen::Vector3d& centre)
	{
		const auto [right, up] = view.viewState().unprojectPixelIncrement(centre);
		m_circle.setCenter(centre);
		m_circle.setAxes(right, up);
		m_circle.setVisible(true);
	}

	void RadiusCircle::attachForGraph(bool planarGraph)
	{
		m_overlay.detach();
		m_overlay.attachForGraph(planarGraph);
	}
}
