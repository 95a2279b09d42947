// Reading mesh files with MeshIo::load: time and peak memory for the shapes whose cost must grow
// linearly (OBJ files of many objects, materials or groups; large PLY and STL files, text and
// binary; PLY faces of every shape; the data file's mesh and point-cloud blocks), each at two sizes.
//
// Counters: file_MB, the file's size; peak_MB, the most memory the process held above what it held
// before the read (resident pages, from the kernel's high-water mark after resetting it); estimate_MB,
// what the reader asks of the memory limit (the smallest limit it reads the file at, to a kilobyte);
// peak_per_estimate, which must stay at or below 1. items_per_second counts the statements, vertices
// or facets the file grows by: equal rates at both sizes show linear time. Large allocations are
// mapped and unmapped one by one (a fixed mmap threshold), so that freed memory leaves the process.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "host/lib/Data.h"
#include "host/lib/DataList.h"
#include "host/lib/Mesh.h"
#include "host/lib/MeshIo.h"
#include "host/lib/PointCloud.h"
#include "host/lib/QuorvaleFile.h"

#include "bench/BenchMemory.h"

using namespace Quorvale;
namespace fs = std::filesystem;

namespace
{
	enum class Shape
	{
		ObjObjects,   ///< "o" lines, each with a triangle of its own
		ObjMaterials, ///< "usemtl" and face pairs on three vertices
		ObjGroups,    ///< "g" lines, each with a triangle of its own
		PlyAscii,     ///< a grid of triangles as PlyIo writes it
		PlyBinary,
		PlyColours,   ///< binary, with vertex colours
		PlyQuads,     ///< binary, four corners per face
		PlyPolygons,  ///< binary, six corners per face
		PlyPoints,    ///< binary, a point cloud
		StlAscii,
		StlBinary,
		QvfMesh,      ///< a data file holding a coloured grid mesh
		QvfPoints     ///< a data file holding a point cloud
	};

	/// Folder of the generated files, removed at exit.
	struct Folder
	{
		Folder()
		{
			// Freed memory must leave the process for the high-water mark to tell the next read's peak.
			mallopt(M_MMAP_THRESHOLD, 64 * 1024);
			mallopt(M_TRIM_THRESHOLD, 64 * 1024);
			fs::create_directories(path);
		}
		~Folder() { fs::remove_all(path); }
		fs::path path = fs::temp_directory_path() / fmt::format("quorvale-mesh-bench-{}", std::random_device()());
	};

	Folder& folder()
	{
		static Folder folder;
		return folder;
	}

	/// A surface of n by n vertices over a grid, its heights a gentle wave.
	std::vector<Eigen::Vector3d> gridVertices(int n)
	{
		std::vector<Eigen::Vector3d> vertices;
		for (int j = 0; j < n; ++j)
			for (int i = 0; i < n; ++i)
				vertices.emplace_back(0.37 * i, 0.53 * j, std::sin(0.1 * i) * std::cos(0.07 * j));
		return vertices;
	}

	std::vector<Eigen::Vector3i> gridTriangles(int n)
	{
		std::vector<Eigen::Vector3i> triangles;
		for (int j = 0; j + 1 < n; ++j)
			for (int i = 0; i + 1 < n; ++i)
			{
				const int a = j * n + i;
				triangles.emplace_back(a, a + 1, a + n + 1);
				triangles.emplace_back(a, a + n + 1, a + n);
			}
		return triangles;
	}

	Mesh gridMesh(int n, bool coloured)
	{
		Mesh mesh(gridVertices(n), gridTriangles(n), "grid");
		if (coloured)
		{
			std::vector<Eigen::Vector4f> colours;
			for (int v = 0; v < n * n; ++v)
				colours.emplace_back(float(v % 256) / 255, float(v % 7) / 7, 0.5f, 1.0f);
			mesh.setBaseColors(std::move(colours));
		}
		return mesh;
	}

	template <typename T>
	void put(std::string& out, T value)
	{
		out.append(reinterpret_cast<const char*>(&value), sizeof(value));
	}

	/// A binary PLY file of an n by n grid whose faces have `corners` corners (4 or 6): quads, or
	/// hexagons of two cells each with a corner added in the middle of their shared edge's ends.
	std::string plyFaces(int n, int corners)
	{
		const std::vector<Eigen::Vector3d> vertices = gridVertices(n);
		std::vector<std::vector<int>> faces;
		for (int j = 0; j + 1 < n; ++j)
			for (int i = 0; i + 1 < n; i += corners == 4 ? 1 : 2)
			{
				const int a = j * n + i;
				if (corners == 4)
					faces.push_back({a, a + 1, a + n + 1, a + n});
				else if (i + 2 < n)
					faces.push_back({a, a + 1, a + 2, a + n + 2, a + n + 1, a + n});
			}
		std::string out = fmt::format("ply\nformat binary_little_endian 1.0\nelement vertex {}\nproperty float x\nproperty float y\n"
		                              "property float z\nelement face {}\nproperty list uchar int vertex_indices\nend_header\n",
		                              vertices.size(), faces.size());
		for (const Eigen::Vector3d& p : vertices)
			for (int k = 0; k < 3; ++k)
				put(out, static_cast<float>(p[k]));
		for (const std::vector<int>& face : faces)
		{
			put(out, static_cast<uint8_t>(face.size()));
			for (const int corner : face)
				put(out, int32_t(corner));
		}
		return out;
	}

	std::string stlAscii(int n)
	{
		const std::vector<Eigen::Vector3d> vertices = gridVertices(n);
		std::string out = "solid grid\n";
		for (const Eigen::Vector3i& t : gridTriangles(n))
		{
			out += "facet normal 0 0 1\n outer loop\n";
			for (int k = 0; k < 3; ++k)
			{
				const Eigen::Vector3f p = vertices[static_cast<size_t>(t[k])].cast<float>();
				out += fmt::format("  vertex {} {} {}\n", p.x(), p.y(), p.z());
			}
			out += " endloop\nendfacet\n";
		}
		return out + "endsolid grid\n";
	}

	std::string objRepeated(int n, const char* keyword)
	{
		std::string out;
		for (int i = 0; i < n; ++i)
			out += fmt::format("{} part{}\nv {} 0 0\nv {} 1 0\nv {} 0 1\nf -3 -2 -1\n", keyword, i, i, i, i);
		return out;
	}

	std::string objMaterials(int n)
	{
		std::string out = "mtllib parts.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
		for (int i = 0; i < n; ++i)
			out += fmt::format("usemtl material{}\nf 1 2 3\n", i);
		return out;
	}

	void writeFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

	std::string saved(const Data& data, const std::string& name, PlyIo::Encoding encoding = PlyIo::Encoding::Binary)
	{
		const fs::path path = folder().path / name;
		MeshIo::save(data, path.string(), encoding);
		return path.string();
	}

	std::string savedQvf(const Data& data, const std::string& name)
	{
		const fs::path path = folder().path / name;
		Data* item = const_cast<Data*>(&data);
		if (!QuorvaleFile::save(DataList{item}, path.string()))
			throw std::runtime_error("cannot write " + path.string());
		return path.string();
	}

	/// The file of `shape` grown to `size`, made once.
	std::string fileOf(Shape shape, int size)
	{
		static std::map<std::pair<Shape, int>, std::string> made;
		const auto key = std::make_pair(shape, size);
		if (const auto it = made.find(key); it != made.end())
			return it->second;
		const std::string name = fmt::format("{}-{}", static_cast<int>(shape), size);
		const fs::path path = folder().path / name;
		std::string file;
		switch (shape)
		{
			case Shape::ObjObjects: writeFile(file = path.string() + ".obj", objRepeated(size, "o")); break;
			case Shape::ObjGroups: writeFile(file = path.string() + ".obj", objRepeated(size, "g")); break;
			case Shape::ObjMaterials: writeFile(file = path.string() + ".obj", objMaterials(size)); break;
			case Shape::PlyAscii: file = saved(gridMesh(size, false), name + ".ply", PlyIo::Encoding::Ascii); break;
			case Shape::PlyBinary: file = saved(gridMesh(size, false), name + ".ply"); break;
			case Shape::PlyColours: file = saved(gridMesh(size, true), name + ".ply"); break;
			case Shape::PlyQuads: writeFile(file = path.string() + ".ply", plyFaces(size, 4)); break;
			case Shape::PlyPolygons: writeFile(file = path.string() + ".ply", plyFaces(size, 6)); break;
			case Shape::PlyPoints: file = saved(PointCloud(gridVertices(size), 0, 0, "points"), name + ".ply"); break;
			case Shape::StlAscii: writeFile(file = path.string() + ".stl", stlAscii(size)); break;
			case Shape::StlBinary: file = saved(gridMesh(size, false), name + ".stl"); break;
			case Shape::QvfMesh: file = savedQvf(gridMesh(size, true), name + ".qvf"); break;
			case Shape::QvfPoints: file = savedQvf(PointCloud(gridVertices(size), 0, 0, "points"), name + ".qvf"); break;
		}
		return made[key] = file;
	}

	bool isQvf(const std::string& path) { return fs::path(path).extension() == ".qvf"; }

	void load(const std::string& path)
	{
		if (isQvf(path))
		{
			const QuorvaleFile::LoadResult result = QuorvaleFile::load(path);
			if (!result.ok())
				throw std::runtime_error("cannot read " + path);
			benchmark::DoNotOptimize(result.data.size());
			return;
		}
		const std::unique_ptr<Data> data = MeshIo::load(path);
		benchmark::DoNotOptimize(data.get());
	}

	/// The most bytes held above what was held before, while `load` reads `path`.
	double peakBytes(const std::string& path)
	{
		const long before = BenchMemory::resetPeak();
		load(path);
		return BenchMemory::peakAbove(before);
	}

	/// True when `path` loads at a memory limit of `limit` bytes.
	bool loadsWithin(const std::string& path, double limit)
	{
		::setenv("QUORVALE_MEMORY_LIMIT", fmt::format("{:.0f}", limit).c_str(), 1);
		if (isQvf(path))
			return QuorvaleFile::load(path).ok();
		try
		{
			MeshIo::load(path);
			return true;
		}
		catch (const std::exception&)
		{
			return false;
		}
	}

	/// What reading `path` asks of the memory limit, to a kilobyte: the smallest limit it loads at.
	double estimateBytes(const std::string& path)
	{
		const char* old = std::getenv("QUORVALE_MEMORY_LIMIT");
		const std::string kept = old ? old : "";
		double refused = 0, read = 64e6;
		while (!loadsWithin(path, read))
			refused = read, read *= 2;
		while (read - refused > 1000)
		{
			const double middle = std::floor((refused + read) / 2);
			(loadsWithin(path, middle) ? read : refused) = middle;
		}
		if (old)
			::setenv("QUORVALE_MEMORY_LIMIT", kept.c_str(), 1);
		else
			::unsetenv("QUORVALE_MEMORY_LIMIT");
		return read;
	}

	/// Reads the file of `shape` at `size`, which holds `items` statements, vertices or facets.
	void readMesh(benchmark::State& state, Shape shape, int size, int64_t items)
	{
		const std::string path = fileOf(shape, size);
		const double peak = peakBytes(path);
		const double estimate = estimateBytes(path);
		for (auto _ : state)
			load(path);
		state.SetItemsProcessed(state.iterations() * items);
		state.counters["file_MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
		state.counters["peak_MB"] = peak / 1e6;
		state.counters["estimate_MB"] = estimate / 1e6;
		state.counters["peak_per_estimate"] = peak / estimate;
	}

	void registerShape(const char* name, Shape shape, std::initializer_list<std::pair<int, int64_t>> sizesAndItems)
	{
		for (const auto& [size, items] : sizesAndItems)
			benchmark::RegisterBenchmark(fmt::format("{}/{}", name, items).c_str(),
			                             [shape, size = size, items = items](benchmark::State& state) { readMesh(state, shape, size, items); })
			    ->Unit(benchmark::kMillisecond);
	}

	/// Vertices of an n by n grid.
	std::pair<int, int64_t> grid(int n) { return {n, int64_t(n) * n}; }
	/// Facets of an n by n grid.
	std::pair<int, int64_t> gridFacets(int n) { return {n, 2 * int64_t(n - 1) * (n - 1)}; }

	const bool registered = []
	{
		registerShape("obj_objects", Shape::ObjObjects, {{100000, 100000}, {200000, 200000}});
		registerShape("obj_materials", Shape::ObjMaterials, {{50000, 50000}, {100000, 100000}});
		registerShape("obj_groups", Shape::ObjGroups, {{100000, 100000}, {200000, 200000}});
		// 7.5 and 15 MB each.
		registerShape("ply_ascii", Shape::PlyAscii, {grid(308), grid(435)});
		registerShape("ply_binary", Shape::PlyBinary, {grid(388), grid(548)});
		registerShape("ply_colours", Shape::PlyColours, {grid(365), grid(516)});
		registerShape("ply_quads", Shape::PlyQuads, {grid(470), grid(665)});
		registerShape("ply_polygons", Shape::PlyPolygons, {grid(510), grid(720)});
		registerShape("ply_points", Shape::PlyPoints, {grid(560), grid(790)});
		registerShape("stl_ascii", Shape::StlAscii, {gridFacets(140), gridFacets(198)});
		registerShape("stl_binary", Shape::StlBinary, {gridFacets(275), gridFacets(388)});
		registerShape("qvf_mesh", Shape::QvfMesh, {grid(300), grid(424)});
		registerShape("qvf_points", Shape::QvfPoints, {grid(560), grid(790)});
		return true;
	}();
}

BENCHMARK_MAIN();
