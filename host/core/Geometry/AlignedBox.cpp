#include "host/core/Geometry/AlignedBox.h"

#include <limits>

namespace Quorvale::Geometry
{
	AlignedBox::AlignedBox()
	    : m_min(Eigen::Vector3d::Constant(std::numeric_limits<double>::infinity()))
	    , m_max(Eigen::Vector3d::Constant(-std::numeric_limits<double>::infinity()))
	{
	}

	AlignedBox::AlignedBox(const Eigen::Vector3d& min, const Eigen::Vector3d& max)
	    : m_min(min)
	    , m_max(max)
	{
	}

	bool AlignedBox::isEmpty() const { return (m_min.array() > m_max.array()).any(); }

	void AlignedBox::addPoint(const Eigen::Vector3d& point)
	{
		m_min = m_min.cwiseMin(point);
		m_max = m_max.cwiseMax(point);
	}

	void AlignedBox::addBox(const AlignedBox& box)
	{
		if (box.isEmpty())
			return;
		addPoint(box.m_min);
		addPoint(box.m_max);
	}

	Eigen::Vector3d AlignedBox::center() const { return isEmpty() ? Eigen::Vector3d::Zero() : Eigen::Vector3d(0.5 * (m_min + m_max)); }

	Eigen::Vector3d AlignedBox::size() const { return isEmpty() ? Eigen::Vector3d::Zero() : Eigen::Vector3d(m_max - m_min); }

	bool AlignedBox::contains(const Eigen::Vector3d& point) const
	{
		return !isEmpty() && (point.array() >= m_min.array()).all() && (point.array() <= m_max.array()).all();
	}

	bool AlignedBox::operator==(const AlignedBox& other) const
	{
		if (isEmpty() || other.isEmpty())
			return isEmpty() == other.isEmpty();
		return m_min == other.m_min && m_max == other.m_max;
	}
}
