#pragma once

#include "host/lib/QuorvaleFileDataPlugin.h"
#include "host/lib/Mesh.h"

#include <cstdint>

namespace Quorvale
{
	/// Stores a `Mesh` as one block of a .qvf file (layout in docs/qvf-file-format.md): its matrix,
	/// vertices in its own coordinates, triangles, and base and current colours apart, so that a
	/// painted mesh keeps what it would be painted over again. Normals are not stored: they are
	/// computed on request. `QuorvaleFile` has it registered from the start.
	class MeshFilePlugin : public QuorvaleFileDataPlugin<Mesh>
	{
	public:
		static constexpr uint32_t kBlockType = 2;

		MeshFilePlugin();

	protected:
		/// Reads a body into an empty mesh; every count is checked against the bytes the block holds
		/// and the memory limit before memory is allocated, every index against the vertex count,
		/// and every vertex must be finite (a mesh with one that is not is not written either).
		bool readBody(QuorvaleFileBodyReader& reader, Mesh& mesh) const override;
		bool writeBody(const Mesh& mesh, std::ostream& body) const override;
	};
}
