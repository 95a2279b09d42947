#include "host/lib/MeshIo.h"

#include <filesystem>
#include <stdexcept>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/core/MemoryLimit.h"
#include "host/core/SafeSave.h"
#include "host/core/String.h"
#include "host/lib/Mesh.h"
#include "host/lib/MeshFileContents.h"
#include "host/lib/ObjIo.h"
#include "host/lib/ObjReader.h"
#include "host/lib/PlyReader.h"
#include "host/lib/PointCloud.h"
#include "host/lib/StlIo.h"
#include "host/lib/StlReader.h"

namespace fs = std::filesystem;

namespace Quorvale::MeshIo
{
	namespace
	{
		enum class Format
		{
			Ply,
			Obj,
			Stl
		};

		Format formatOf(const std::string& path, const std::string& verb)
		{
			const std::string extension = String::toLowerCopy(fs::u8path(path).extension().u8string());
			if (extension == ".ply")
				return Format::Ply;
			if (extension == ".obj")
				return Format::Obj;
			if (extension == ".stl")
				return Format::Stl;
			throw std::runtime_error("Cannot " + verb + " '" + path + "': not a .ply, .obj or .stl file");
		}

		[[noreturn]] void failRead(const std::string& path, const std::string& what)
		{
			throw std::runtime_error("Cannot read '" + path + "': " + what);
		}

		std::string stemOf(const std::string& path) { return fs::u8path(path).stem().u8string(); }

		/// The mesh, or the point cloud when there are no triangles, of what a reader gave.
		std::unique_ptr<Data> fromContents(MeshFileContents contents, const std::string& path)
		{
			// A text STL file without a whole facet gives no vertices.
			if (contents.vertices.empty())
				failRead(path, "it holds no vertices");
			if (contents.triangles.empty())
				return std::make_unique<PointCloud>(std::move(contents.vertices), 0, 0, stemOf(path));
			if (contents.droppedFaces > 0)
				Log::warn(fmt::format("'{}': {} faces that are points or lines were left out of the mesh", path, contents.droppedFaces));
			auto mesh = std::make_unique<Mesh>(std::move(contents.vertices), std::move(contents.triangles), stemOf(path));
			if (!contents.colours.empty())
				mesh->setBaseColors(std::move(contents.colours));
			return mesh;
		}

		/// Checks the file with `Reader`, refuses it when building would not fit, and builds it.
		template <typename Reader>
		std::unique_ptr<Data> loadWith(const std::string& path)
		{
			Reader reader(path);
			const MeshFileCheck check = reader.check();
			if (check.vertices > INT32_MAX || check.triangles > INT32_MAX)
				failRead(path, "it has more vertices or triangles than a mesh can hold");
			if (const std::string refusal = MemoryLimit::refusal(check.memoryBytes, "its " + check.contents); !refusal.empty())
				failRead(path, refusal);
			return fromContents(reader.read(), path);
		}

		std::string regularFile(const std::string& path)
		{
			if (!fs::is_regular_file(fs::u8path(path)))
				failRead(path, "it is not a file");
			return path;
		}

		/// Why the file of `points` (with `matrixToWorld`) would not read back; empty when it would:
		/// readers refuse a place that is not finite as a single-precision number.
		std::string unreadable(const std::vector<Eigen::Vector3d>& points, const Eigen::Matrix4d& matrixToWorld, const char* noun)
		{
			for (size_t i = 0; i < points.size(); ++i)
			{
				if (!points[i].allFinite())
					return fmt::format("{} {} is not finite ({}, {}, {})", noun, i, points[i].x(), points[i].y(), points[i].z());
				const Eigen::Vector3d p = matrixToWorld.topLeftCorner<3, 3>() * points[i] + matrixToWorld.topRightCorner<3, 1>();
				if (!MeshFileContents::placeFault(p).empty())
					return fmt::format("{} {} lies at ({}, {}, {}) in world coordinates, which a file's numbers cannot hold", noun, i, p.x(), p.y(),
					                   p.z());
			}
			return {};
		}

		std::string unreadable(const Mesh& mesh, Format format)
		{
			if (mesh.numberOfVertices() == 0)
				return "the mesh has no vertices";
			if (format == Format::Stl && mesh.numberOfFaces() == 0)
				return "the mesh has no triangles, and an STL file holds nothing else";
			return unreadable(mesh.vertices(), mesh.matrixToWorld(), "vertex");
		}

		std::string unreadable(const PointCloud& cloud)
		{
			if (cloud.numberOfPoints() == 0)
				return "the point cloud has no points";
			return unreadable(cloud.points(), cloud.matrixToWorld(), "point");
		}

		[[noreturn]] void failWrite(const std::string& path, const std::string& what)
		{
			throw std::runtime_error("Cannot write '" + path + "': " + what);
		}
	}

	std::unique_ptr<Data> load(const std::string& path)
	{
		switch (formatOf(path, "read"))
		{
			case Format::Ply: return loadWith<PlyReader>(regularFile(path));
			case Format::Obj: return loadWith<ObjReader>(regularFile(path));
			case Format::Stl: return loadWith<StlReader>(regularFile(path));
		}
		return nullptr;
	}

	void save(const Data& data, const std::string& path, PlyIo::Encoding encoding)
	{
		const Format format = formatOf(path, "write");
		const auto* mesh = dynamic_cast<const Mesh*>(&data);
		const auto* cloud = dynamic_cast<const PointCloud*>(&data);
		if (!mesh && !(cloud && format == Format::Ply))
			failWrite(path, format == Format::Ply ? "only meshes and point clouds are written as PLY" : "only meshes are written as OBJ or STL");
		if (const std::string problem = mesh ? unreadable(*mesh, format) : unreadable(*cloud); !problem.empty())
			failWrite(path, problem);
		switch (format)
		{
			case Format::Ply: SafeSave::writeFile(path, mesh ? PlyIo::encode(*mesh, encoding) : PlyIo::encode(*cloud, encoding)); return;
			case Format::Obj: SafeSave::writeFile(path, ObjIo::encode(*mesh)); return;
			case Format::Stl: SafeSave::writeFile(path, StlIo::encode(*mesh)); return;
		}
	}
}
