#include "host/lib/PlyReader.h"

namespace Quorvale
{
	namespace
	{
		/// Bytes per point of a point cloud (besides those of the file's reader, which are measured).
		constexpr double kBytesPerPoint = 24;
	}

	PlyReader::PlyReader(const std::string& path)
	    : m_path(path)
	    , m_header(PlyHeader::read(path))
	    , m_walker(m_header, m_path)
	{
	}

	MeshFileCheck PlyReader::check()
	{
		m_tally = m_walker.walk();
		const auto vertices = static_cast<double>(m_header.vertexCount());
		const uint64_t triangles = m_tally.shapes.all();
		// Without triangles there are no faces to keep either.
		const double perVertex =
		    triangles == 0 ? kBytesPerPoint
		                   : MeshFileCheck::kMeshBytesPerVertex + (m_walker.hasColours() ? MeshFileCheck::kMeshBytesPerColour : 0);
		const double bytes = static_cast<double>(m_tally.readerBytes) + perVertex * vertices + m_tally.shapes.bytes();
		return {MeshFileCheck::counted(m_header.vertexCount(), "vertex", "vertices") + " and " +
		            MeshFileCheck::counted(m_tally.faces(), "face", "faces"),
		        bytes, m_header.vertexCount(), triangles};
	}

	MeshFileContents PlyReader::read()
	{
		MeshFileContents contents;
		m_walker.read(m_tally, m_tally.shapes.all() > 0, contents);
		return contents;
	}
}
