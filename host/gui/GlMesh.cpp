#include "host/gui/GlMesh.h"

#include <Eigen/Geometry>

#include "host/gl/FixedFunctionPipeline.h"
#include "host/gl/StateGuard.h"
#include "host/gui/GlSliceView.h"
#include "host/lib/Mesh.h"

#include <algorithm>

namespace Quorvale
{
	namespace
	{
		/// How many planes keep their cut: the three slice views.
		constexpr size_t KeptCuts = 3;
		constexpr double CutLineWidth = 2.0;
		/// The cut of a mesh without colours: a light line on a dark one twice as wide, which shows over
		/// any image (white labels, black background, grey tissue).
		const Eigen::Vector4d CutCore(1.0, 0.85, 0.1, 1.0);
		const Eigen::Vector4d CutHalo(0.0, 0.0, 0.0, 1.0);
	}

	GlMesh::GlMesh(Mesh& mesh)
	    : GlDataObject(mesh)
	    , m_mesh(&mesh)
	{
	}

	GlMesh::~GlMesh() = default;

	Geometry::AlignedBox GlMesh::bounds() const { return boxOf(m_mesh->vertices()); }

	GlMesh::Cut GlMesh::cut(const Mesh& mesh, const Eigen::Vector3d& normal, double offset)
	{
		Cut cut;
		const auto& vertices = mesh.vertices();
		std::vector<double> distance(vertices.size());
		for (size_t i = 0; i < vertices.size(); ++i)
			distance[i] = normal.dot(vertices[i]) - offset;
		for (const Eigen::Vector3i& t : mesh.triangles())
			for (int k = 0; k < 3; ++k)
			{
				const int a = t[k], b = t[(k + 1) % 3];
				const double da = distance[static_cast<size_t>(a)], db = distance[static_cast<size_t>(b)];
				if ((da >= 0.0) == (db >= 0.0))
					continue;
				// Exactly two edges of a triangle cross: their points pair up into one segment.
				const double w = da / (da - db);
				cut.points.push_back((1.0 - w) * mesh.vertex(a) + w * mesh.vertex(b));
				cut.colors.push_back((1.0f - static_cast<float>(w)) * mesh.vertexColor(a) + static_cast<float>(w) * mesh.vertexColor(b));
			}
		return cut;
	}

	void GlMesh::draw(const GlView& view)
	{
		if (!visible() || m_mesh->numberOfFaces() == 0)
			return;
		if (view.kind() == GlView::Volume)
			drawSurface(view);
		else if (const auto* slice = dynamic_cast<const GlSliceView*>(&view); slice && view.kind() == GlView::VolumeSlice)
		{
			Eigen::Vector3d point, normal;
			if (slice->slice().plane(point, normal))
				drawCut(view, point, normal);
		}
	}

	void GlMesh::drawSurface(const GlView& view)
	{
		if (m_surfaceVersion != dataVersion())
		{
			std::vector<Eigen::Vector3d> positions;
			std::vector<Eigen::Vector3f> normals;
			std::vector<Eigen::Vector4f> colors;
			const size_t corners = m_mesh->triangles().size() * 3;
			positions.reserve(corners);
			normals.reserve(corners);
			colors.reserve(corners);
			for (const Eigen::Vector3i& t : m_mesh->triangles())
			{
				const Eigen::Vector3d& a = m_mesh->vertex(t[0]);
				const Eigen::Vector3f n = (m_mesh->vertex(t[1]) - a).cross(m_mesh->vertex(t[2]) - a).cast<float>();
				for (int k = 0; k < 3; ++k)
				{
					positions.push_back(m_mesh->vertex(t[k]));
					normals.push_back(n);
					colors.push_back(m_mesh->vertexColor(t[k]));
				}
			}
			m_surface.upload(positions, normals, colors);
			m_surfaceVersion = dataVersion();
		}
		auto& pipeline = GL::FixedFunctionPipeline::instance();
		pipeline.enable(view.viewState(), 1, nullptr);
		pipeline.setModelMatrix(matrix());
		pipeline.setLighting(true);
		m_surface.bind();
		m_surface.draw(GL::VertexBuffer::Triangles);
		pipeline.disable();
	}

	void GlMesh::drawCut(const GlView& view, const Eigen::Vector3d& point, const Eigen::Vector3d& normal)
	{
		// The world plane in the mesh's coordinates: n . (M x + t) = n . p.
		const Eigen::Matrix4d& toWorld = matrix();
		const Eigen::Vector3d localNormal = toWorld.topLeftCorner<3, 3>().transpose() * normal;
		const double offset = normal.dot(point - toWorld.topRightCorner<3, 1>());
		auto found =
		    std::find_if(m_cuts.begin(), m_cuts.end(),
		                 [&](const CachedCut& c) { return c.normal == localNormal && c.offset == offset && c.version == dataVersion(); });
		if (found == m_cuts.end())
		{
			if (m_cuts.size() >= KeptCuts)
				m_cuts.erase(m_cuts.begin());
			const Cut segments = cut(*m_mesh, localNormal, offset);
			m_cuts.push_back({localNormal, offset, dataVersion(), GL::VertexBuffer()});
			m_cuts.back().buffer.upload(segments.points, {}, m_mesh->hasVertexColors() ? segments.colors : std::vector<Eigen::Vector4f>());
			found = m_cuts.end() - 1;
		}
		GL::StateGuard state(GL::StateGuard::Rasterisation);
		auto& pipeline = GL::FixedFunctionPipeline::instance();
		pipeline.enable(view.viewState(), 1, nullptr);
		pipeline.setModelMatrix(toWorld);
		found->buffer.bind();
		if (!m_mesh->hasVertexColors())
		{
			pipeline.setDefaultColor(CutHalo);
			pipeline.setLineWidth(2.0 * CutLineWidth);
			found->buffer.draw(GL::VertexBuffer::Lines);
			pipeline.setDefaultColor(CutCore);
		}
		pipeline.setLineWidth(CutLineWidth);
		found->buffer.draw(GL::VertexBuffer::Lines);
		pipeline.disable();
	}
}
