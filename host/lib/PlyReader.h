#pragma once

#include "host/lib/MeshFileCheck.h"
#include "host/lib/MeshFileContents.h"
#include "host/lib/PlyBodyWalker.h"
#include "host/lib/PlyHeader.h"

#include <string>

namespace Quorvale
{
	/// Reads a PLY file: its header (`PlyHeader::read`), then its body twice with one walker
	/// (`PlyBodyWalker`), first to check it and count what it holds, then to build from it.
	/// The vertices are kept as the file lists them, whether faces use them or not; a file
	/// without faces of three corners or more gives no triangles, and colours only with them.
	class PlyReader
	{
	public:
		/// Reads the header of the file at `path`. Throws std::runtime_error naming the file and the fault.
		explicit PlyReader(const std::string& path);
		PlyReader(const PlyReader&) = delete;
		PlyReader& operator=(const PlyReader&) = delete;

		/// Walks the body: what the file holds and the memory building it will take. Throws as
		/// `PlyBodyWalker::walk` does.
		MeshFileCheck check();
		/// Builds what `check` found (it must have run). Throws as `PlyBodyWalker::read` does.
		MeshFileContents read();

	private:
		std::string m_path;
		PlyHeader m_header;
		PlyBodyWalker m_walker;
		PlyBodyWalker::Tally m_tally;
	};
}
