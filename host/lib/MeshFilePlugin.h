#pragma once

#include "host/lib/QuorvaleFilePlugin.h"

#include <cstdint>

namespace Quorvale
{
	/// Stores a `Mesh` as one block of a .qvf file (layout in docs/qvf-file-format.md): its matrix,
	/// vertices in its own coordinates, triangles, and base and current colours apart, so that a
	/// painted mesh keeps what it would be painted over again. Normals are not stored: they are
	/// computed on request. `QuorvaleFile` has it registered from the start.
	class MeshFilePlugin : public QuorvaleFilePlugin
	{
	public:
		static constexpr uint32_t kBlockType = 2;

		std::unique_ptr<Data> createData(uint32_t blockType) const override;
		uint32_t blockType(const Data& data) const override;
		/// Reads a body into an empty mesh; every count is checked against the bytes the block holds
		/// before memory is allocated, and every index against the vertex count.
		bool load(uint64_t bodySize, Data& data, std::istream& body) const override;
		bool write(const Data& data, std::ostream& body) const override;
	};
}
