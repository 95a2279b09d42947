#pragma once

#include "host/gl/VertexBuffer.h"
#include "host/gui/GlDataObject.h"

#include <Eigen/Core>

#include <vector>

namespace Quorvale
{
	class Mesh;

	/// Draws a surface `Mesh` (not owned): in the 3-D view its triangles in their vertex colours (white
	/// without), lit by a light at the viewer with one normal per triangle; in a slice view of a volume
	/// its cut with the slice plane as lines in the vertex colours interpolated along the cut edges (a
	/// mesh without colours is cut in a light line edged in black, which shows over any image).
	/// Planar views and slice views without an image show nothing. Vertex lists are rebuilt when the
	/// mesh signals a change (and a cut when the plane moves).
	class GlMesh : public GlDataObject
	{
	public:
		/// Where the mesh crosses a plane: line segments as pairs of points, with a colour per point.
		struct Cut
		{
			std::vector<Eigen::Vector3d> points;
			std::vector<Eigen::Vector4f> colors;
		};

		explicit GlMesh(Mesh& mesh);
		~GlMesh() override;

		void draw(const GlView& view) override;
		/// The box of the vertices in the mesh's own coordinates.
		Geometry::AlignedBox bounds() const override;
		std::string typeName() const override { return "GlMesh"; }

		/// The segments where the triangles cross the plane {x : normal . x = offset}, in the mesh's own
		/// coordinates (`normal` need not be unit). A vertex on the plane counts as lying above it, so a
		/// triangle gives one segment or none.
		static Cut cut(const Mesh& mesh, const Eigen::Vector3d& normal, double offset);

	private:
		void drawSurface(const GlView& view);
		void drawCut(const GlView& view, const Eigen::Vector3d& point, const Eigen::Vector3d& normal);

		const Mesh* m_mesh;
		GL::VertexBuffer m_surface;
		std::uint64_t m_surfaceVersion = ~std::uint64_t(0);
		/// The last cuts, one per plane (a slice view each), with the data version they were made at.
		struct CachedCut
		{
			Eigen::Vector3d normal;
			double offset = 0.0;
			std::uint64_t version = 0;
			GL::VertexBuffer buffer;
		};
		std::vector<CachedCut> m_cuts;
	};
}
