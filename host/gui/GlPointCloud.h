#pragma once

#include "host/gl/VertexBuffer.h"
#include "host/gui/GlDataObject.h"

namespace Quorvale
{
	class PointCloud;

	/// Draws a `PointCloud` (not owned) as round orange points of a fixed size in pixels, in the 3-D
	/// view and in slice views of volumes (there all points, seen along the slice axis); planar views
	/// show nothing. The vertex list is rebuilt when the cloud signals a change.
	class GlPointCloud : public GlDataObject
	{
	public:
		explicit GlPointCloud(PointCloud& cloud);
		~GlPointCloud() override;

		void draw(const GlView& view) override;
		/// The box of the points in the cloud's own coordinates.
		Geometry::AlignedBox bounds() const override;
		std::string typeName() const override { return "GlPointCloud"; }

		/// Diameter of the points in device pixels.
		static constexpr double PointSize = 5.0;
		/// Colour of the points (RGBA).
		static Eigen::Vector4d color() { return {1.0, 0.55, 0.0, 1.0}; }

	private:
		const PointCloud* m_cloud;
		GL::VertexBuffer m_points;
		std::uint64_t m_pointsVersion = ~std::uint64_t(0);
	};
}
