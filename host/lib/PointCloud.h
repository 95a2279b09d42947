#pragma once

#include "host/lib/Data.h"

#include <Eigen/Core>

#include <string>
#include <vector>

namespace Quorvale
{
	/// A set of points as a host data object. The points are in the cloud's own coordinates; the
	/// matrix convention is `ToWorld`, so `matrix` and `matrixToWorld` map them to world coordinates.
	/// Files hold the points in world coordinates.
	class PointCloud : public Data
	{
	public:
		/// An empty, unorganised cloud.
		explicit PointCloud(std::string name = {});
		/// A cloud of `points`. `width` and `height` describe an organised cloud (points laid out row
		/// after row on a `width` × `height` grid); 0 and 0 mark an unorganised one. They are kept as
		/// given.
		PointCloud(std::vector<Eigen::Vector3d> points, int width, int height, std::string name);
		~PointCloud() override;

		int kind() const override { return Data::PointCloud; }
		int matrixConvention() const override { return Data::ToWorld; }
		/// World-space box of the points; empty without points.
		Geometry::AlignedBox bounds() const override;
		std::string describe() const override;

		int numberOfPoints() const { return static_cast<int>(m_points.size()); }
		const std::vector<Eigen::Vector3d>& points() const { return m_points; }
		/// Replaces the points (and emits `signalDataChanged`).
		void setPoints(std::vector<Eigen::Vector3d> points);

		int width() const { return m_width; }
		int height() const { return m_height; }
		void setLayout(int width, int height);

	private:
		std::vector<Eigen::Vector3d> m_points;
		int m_width = 0;
		int m_height = 0;
	};
}
