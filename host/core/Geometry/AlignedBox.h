#pragma once

#include <Eigen/Core>

namespace Quorvale::Geometry
{
	/// An axis-aligned box in 3-D; a new box is empty and grows with `addPoint`.
	class AlignedBox
	{
	public:
		AlignedBox();
		AlignedBox(const Eigen::Vector3d& min, const Eigen::Vector3d& max);

		bool isEmpty() const;
		void addPoint(const Eigen::Vector3d& point);
		void addBox(const AlignedBox& box);

		const Eigen::Vector3d& min() const { return m_min; }
		const Eigen::Vector3d& max() const { return m_max; }
		/// Centre and edge lengths; zero for an empty box.
		Eigen::Vector3d center() const;
		Eigen::Vector3d size() const;
		bool contains(const Eigen::Vector3d& point) const;

		bool operator==(const AlignedBox& other) const;
		bool operator!=(const AlignedBox& other) const { return !(*this == other); }

	private:
		Eigen::Vector3d m_min;
		Eigen::Vector3d m_max;
	};
}
