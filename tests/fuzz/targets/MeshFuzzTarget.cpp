// The mesh readers: every input is tried as a PLY, an OBJ and an STL file. A refused file leaves a
// message; an accepted mesh or point cloud reads back the same after writing it, apart from what the
// format loses by design (PLY colours are bytes; STL has no colours; OBJ and STL keep no vertex that
// no triangle uses and join vertices at one place, so they are compared corner by corner). A point
// cloud, which only PLY holds, goes through PLY whatever it was read from. What a reader accepts
// also holds whatever the file said: finite coordinates within single precision, colours in [0, 1].
#include "tests/fuzz/FuzzTarget.h"
#include "tests/fuzz/targets/FuzzFiles.h"

#include "host/lib/Data.h"
#include "host/lib/Mesh.h"
#include "host/lib/MeshIo.h"
#include "host/lib/PointCloud.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace Quorvale::Fuzz
{
	namespace
	{
		/// Equal as the floats the readers hand back, after the decimal text of a writer.
		bool near(const Eigen::Vector3d& a, const Eigen::Vector3d& b)
		{
			for (int k = 0; k < 3; ++k)
				if (std::abs(a[k] - b[k]) > 1e-6 * std::max(std::abs(a[k]), std::abs(b[k])) + 1e-35)
					return false;
			return true;
		}

		long byteOf(float channel) { return std::lround(std::clamp(channel, 0.0f, 1.0f) * 255.0f); }

		void compareVertices(const std::vector<Eigen::Vector3d>& a, const std::vector<Eigen::Vector3d>& b, const std::string& what)
		{
			check(a.size() == b.size(), what + ": the number of vertices changed");
			for (size_t i = 0; i < a.size(); ++i)
				check(near(a[i], b[i]), what + ": a vertex moved");
		}

		/// PLY keeps the vertices as listed, the triangles as indices and the colours as bytes.
		void compareAsPly(const Mesh& a, const Mesh& b)
		{
			compareVertices(a.vertices(), b.vertices(), "PLY");
			check(a.triangles() == b.triangles(), "PLY: the triangles changed");
			check(a.hasVertexColors() == b.hasVertexColors(), "PLY: the colours came or went");
			for (int i = 0; a.hasVertexColors() && i < a.numberOfVertices(); ++i)
				for (int k = 0; k < 4; ++k)
					check(byteOf(a.vertexColor(i)[k]) == byteOf(b.vertexColor(i)[k]), "PLY: a colour changed");
		}

		/// OBJ and STL renumber the vertices: the triangles' corners are compared in order, and OBJ's
		/// colours with them.
		void compareCorners(const Mesh& a, const Mesh& b, const std::string& what)
		{
			check(a.numberOfFaces() == b.numberOfFaces(), what + ": the number of triangles changed");
			check(what != ".obj" || a.hasVertexColors() == b.hasVertexColors(), "OBJ: the colours came or went");
			for (int f = 0; f < a.numberOfFaces(); ++f)
				for (int k = 0; k < 3; ++k)
				{
					const int va = a.triangles()[static_cast<size_t>(f)][k], vb = b.triangles()[static_cast<size_t>(f)][k];
					check(near(a.vertex(va), b.vertex(vb)), what + ": a triangle's corner moved");
					check(what != ".obj" || !a.hasVertexColors() || a.vertexColor(va) == b.vertexColor(vb), "OBJ: a colour changed");
				}
		}

		/// What every reader promises of what it accepts.
		void checkValues(const Data& data)
		{
			const auto* mesh = dynamic_cast<const Mesh*>(&data);
			const auto* cloud = dynamic_cast<const PointCloud*>(&data);
			for (const Eigen::Vector3d& p : mesh ? mesh->vertices() : cloud->points())
				check(p.allFinite() && p.cwiseAbs().maxCoeff() <= std::numeric_limits<float>::max(), "a vertex beyond single precision was read");
			for (int i = 0; mesh && mesh->hasVertexColors() && i < mesh->numberOfVertices(); ++i)
				check((mesh->vertexColor(i).array() >= 0).all() && (mesh->vertexColor(i).array() <= 1).all(), "a colour beyond [0, 1] was read");
		}

		std::unique_ptr<Data> reread(const Data& data, const std::string& suffix, PlyIo::Encoding encoding)
		{
			ScratchFile file(suffix);
			try
			{
				MeshIo::save(data, file.path(), encoding);
				return MeshIo::load(file.path());
			}
			catch (const std::runtime_error& e)
			{
				check(false, "an accepted " + suffix + " file did not write and read back: " + e.what());
			}
			return nullptr;
		}

		void roundTrip(const Data& data, const std::string& suffix)
		{
			const auto* mesh = dynamic_cast<const Mesh*>(&data);
			const auto* cloud = dynamic_cast<const PointCloud*>(&data);
			check(mesh || cloud, "a mesh file gave neither a mesh nor a point cloud");
			checkValues(data);
			for (const auto encoding : {PlyIo::Encoding::Binary, PlyIo::Encoding::Ascii})
			{
				const auto again = reread(data, cloud ? ".ply" : suffix, encoding);
				check(again->kind() == data.kind(), suffix + ": a mesh came back as a point cloud or the other way round");
				if (cloud)
					compareVertices(cloud->points(), dynamic_cast<const PointCloud&>(*again).points(), "PLY point cloud");
				else if (suffix == ".ply")
					compareAsPly(*mesh, dynamic_cast<const Mesh&>(*again));
				else
					compareCorners(*mesh, dynamic_cast<const Mesh&>(*again), suffix);
				if (!cloud && suffix != ".ply")
					break; // the encoding is PLY's alone
			}
		}

		void run(std::string_view input)
		{
			for (const std::string suffix : {".ply", ".obj", ".stl"})
			{
				ScratchFile file(suffix);
				file.write(input);
				std::unique_ptr<Data> data;
				try
				{
					data = MeshIo::load(file.path());
				}
				catch (const std::runtime_error& e)
				{
					check(std::strlen(e.what()) > 0, suffix + " file refused without a message");
					continue;
				}
				roundTrip(*data, suffix);
			}
		}

		std::string written(const Data& data, const std::string& suffix, PlyIo::Encoding encoding = PlyIo::Encoding::Binary)
		{
			ScratchFile file(suffix);
			MeshIo::save(data, file.path(), encoding);
			return file.read();
		}

		/// A binary PLY file of one triangle as big-endian machines write it.
		std::string bigEndianTriangle()
		{
			std::string out = "ply\nformat binary_big_endian 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
			                  "element face 1\nproperty list uchar uint vertex_indices\nend_header\n";
			const auto bigEndian = [&](uint32_t word)
			{
				for (int shift = 24; shift >= 0; shift -= 8)
					out += static_cast<char>((word >> shift) & 0xff);
			};
			constexpr uint32_t one = 0x3f800000; // 1.0f
			for (const uint32_t word : {0u, 0u, 0u, one, 0u, 0u, 0u, one, 0u})
				bigEndian(word);
			out += '\3';
			for (const uint32_t index : {0u, 1u, 2u})
				bigEndian(index);
			return out;
		}

		std::vector<std::string> seeds()
		{
			Mesh mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1.5}}, {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}, "tet");
			mesh.setVertexColor(1, {1, 0, 0}, 0.5f);
			const Mesh plain({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, {{0, 1, 2}}, "triangle");
			const PointCloud cloud({{1, 2, 3}, {-4, 5.25, 6}}, 0, 0, "cloud");
			return {written(mesh, ".ply", PlyIo::Encoding::Ascii), written(mesh, ".ply"), written(cloud, ".ply", PlyIo::Encoding::Ascii),
			        written(mesh, ".obj"), written(plain, ".obj"), written(mesh, ".stl"),
			        // What other programs write: polygons, big-endian and float colours, relative indices, text STL.
			        "ply\nformat ascii 1.0\ncomment square\nelement vertex 4\nproperty float x\nproperty float y\nproperty float z\n"
			        "property float red\nproperty float green\nproperty float blue\nelement face 2\nproperty list uchar int vertex_indices\n"
			        "end_header\n0 0 0 1 0 0\n1 0 0 0 1 0\n1 1 0 0 0 1\n0 1 0 1 1 1\n4 0 1 2 3\n2 0 2\n",
			        bigEndianTriangle(),
			        "# square\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\nvt 0 0\ng square\nusemtl none\nf 1//1 2//1 3//1 4//1\n"
			        "f -4/1 -2/1 -1/1\nl 1 2\nv 0 0 1 0.5 0.25 1\nf 1 2 5\n",
			        "v 1 2 3\nv 4 5 6\np 1 2\n",
			        // Line ends other writers use, edges, elements no reader needs, lines joined by a backslash.
			        "ply\r\nformat ascii 1.0\r\nelement vertex 3\r\nproperty double x\r\nproperty double y\r\nproperty double z\r\n"
			        "element edge 1\r\nproperty int vertex1\r\nproperty int vertex2\r\nelement face 1\r\nproperty list uchar uint vertex_index\r\n"
			        "element note 1\r\nproperty list short char text\r\nend_header\r\n0 0 0\r\n1 0 0\r\n0 1 0\r\n0 1\r\n3 0 1 2\r\n2 -1 7\r\n",
			        "v 0 0 0\rv 1 0 0 2\rv 0 1 0 0.5 0.5 0.5\rvt 0 0\rvn 0 0 1\rf 1/1/1 -2/1/1 \\\r\n3//1\r",
			        // Comments among properties, faces before vertices, a concave polygon; a byte order mark,
			        // comments after data, weights and statements that are skipped.
			        "ply\nformat ascii 1.0\ncomment c\nelement face 1\nproperty list uchar int vertex_indices\nelement vertex 5\n"
			        "property float x\nobj_info o\nproperty float y\nproperty float z\nproperty uchar red\nend_header\n5 0 1 2 3 4\n"
			        "0 0 0 0\n2 0 0 64\n2 2 0 128\n1 0.5 0 192\n0 2 0 255\n",
			        "\xEF\xBB\xBFo part\nv 0 0 0 1 # corner\nv 2 0 0\nv 2 2 0\nv 1 .5 0\nv 0 2 0\nusemtl red\nvp 1\nf 1 2 3 4 5 # arrow\n",
			        "solid part\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\n"
			        "facet normal 0 0 1\nouter loop\nvertex 1 0 0\nvertex 1 1 0\nvertex 0 1 0\nendloop\nendfacet\nendsolid part\n"};
		}

		const FuzzTargetRegistration registration{{"mesh", run, seeds}};
	}
}
