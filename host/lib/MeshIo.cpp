#include "host/lib/MeshIo.h"

#include <filesystem>
#include <limits>
#include <stdexcept>

#include <assimp/DefaultIOSystem.h>
#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/core/MemoryLimit.h"
#include "host/core/Platform.h"
#include "host/core/SafeSave.h"
#include "host/core/String.h"
#include "host/lib/Mesh.h"
#include "host/lib/ObjIo.h"
#include "host/lib/PointCloud.h"
#include "host/lib/StlIo.h"

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

		/// The import steps of each format.
		unsigned int importSteps(Format format)
		{
			// OBJ and STL list a vertex per face corner; joining needs the corners to differ in
			// nothing but their index, so the per-corner normals and texture coordinates go first.
			const unsigned int joinCorners = aiProcess_RemoveComponent | aiProcess_JoinIdenticalVertices;
			switch (format)
			{
				case Format::Ply: return aiProcess_Triangulate;
				case Format::Obj: return aiProcess_Triangulate | joinCorners;
				case Format::Stl: return joinCorners;
			}
			return 0;
		}

		[[noreturn]] void failRead(const std::string& path, const std::string& what)
		{
			throw std::runtime_error("Cannot read '" + path + "': " + what);
		}

		/// Lets Assimp open the file it reads and no other. An OBJ file names its material library,
		/// which could be a pipe that never ends; materials are not read anyway.
		class OnlyThisFile : public Assimp::DefaultIOSystem
		{
		public:
			explicit OnlyThisFile(std::string path)
			    : m_path(std::move(path))
			{
			}

			using DefaultIOSystem::Exists;
			using DefaultIOSystem::Open;
			bool Exists(const char* file) const override { return m_path == file && DefaultIOSystem::Exists(file); }
			Assimp::IOStream* Open(const char* file, const char* mode) override
			{
				return m_path == file ? DefaultIOSystem::Open(file, mode) : nullptr;
			}

		private:
			std::string m_path;
		};

		/// What the file holds, after our check of its format.
		MeshFileCheck checkFile(const std::string& path, Format format)
		{
			switch (format)
			{
				case Format::Ply: return PlyIo::check(path);
				case Format::Obj: return ObjIo::check(path);
				case Format::Stl: return StlIo::check(path);
			}
			return {};
		}

		std::string stemOf(const std::string& path) { return fs::u8path(path).stem().u8string(); }

		/// What the meshes of a scene add up to, their vertices numbered one after the other.
		struct Surface
		{
			std::vector<Eigen::Vector3d> vertices;
			std::vector<Eigen::Vector4f> colours; ///< one per vertex when any mesh has colours, else none
			std::vector<Eigen::Vector3i> triangles;
			size_t droppedFaces = 0; ///< faces that are points or lines
		};

		/// Appends the vertices of `mesh`, with colours (white where it has none) when `withColours`.
		void appendVertices(const aiMesh& mesh, bool withColours, Surface& surface, const std::string& path)
		{
			const size_t first = surface.vertices.size();
			if (first + mesh.mNumVertices > static_cast<size_t>(INT32_MAX))
				failRead(path, "it has more vertices than a mesh can hold");
			for (unsigned int v = 0; v < mesh.mNumVertices; ++v)
			{
				const aiVector3D& p = mesh.mVertices[v];
				surface.vertices.emplace_back(p.x, p.y, p.z);
				if (!surface.vertices.back().allFinite())
					failRead(path, fmt::format("vertex {} is not finite", first + v));
				if (!withColours)
					continue;
				Eigen::Vector4f c = Eigen::Vector4f::Ones();
				if (mesh.HasVertexColors(0))
					c = {mesh.mColors[0][v].r, mesh.mColors[0][v].g, mesh.mColors[0][v].b, mesh.mColors[0][v].a};
				if (!c.allFinite())
					failRead(path, fmt::format("the colour of vertex {} is not finite", first + v));
				surface.colours.push_back(c);
			}
		}

		/// The kind of primitive a face of `corners` corners (at least one) is.
		unsigned int primitiveType(unsigned int corners)
		{
			switch (corners)
			{
				case 1: return aiPrimitiveType_POINT;
				case 2: return aiPrimitiveType_LINE;
				case 3: return aiPrimitiveType_TRIANGLE;
				default: return aiPrimitiveType_POLYGON;
			}
		}

		/// Refuses a scene with a face without corners or one that refers to a vertex its mesh does
		/// not have, and sets each mesh's primitive types from its faces: the import steps trust all
		/// three, and a damaged PLY file can leave a mesh marked as holding polygons it does not hold.
		void checkFaces(aiScene& scene, const std::string& path)
		{
			for (unsigned int m = 0; m < scene.mNumMeshes; ++m)
			{
				aiMesh& mesh = *scene.mMeshes[m];
				unsigned int types = 0;
				for (unsigned int f = 0; f < mesh.mNumFaces; ++f)
				{
					const aiFace& face = mesh.mFaces[f];
					if (face.mNumIndices == 0)
						failRead(path, fmt::format("face {} has no corners", f));
					for (unsigned int k = 0; k < face.mNumIndices; ++k)
						if (face.mIndices[k] >= mesh.mNumVertices)
							failRead(path, fmt::format("face {} refers to vertex {}, there are {}", f, face.mIndices[k], mesh.mNumVertices));
					types |= primitiveType(face.mNumIndices);
				}
				mesh.mPrimitiveTypes = types;
			}
		}

		/// Appends the triangles of `mesh`, whose vertices start at `first`, and counts its other faces.
		void appendTriangles(const aiMesh& mesh, size_t first, Surface& surface)
		{
			for (unsigned int f = 0; f < mesh.mNumFaces; ++f)
			{
				const aiFace& face = mesh.mFaces[f];
				if (face.mNumIndices != 3)
				{
					++surface.droppedFaces;
					continue;
				}
				Eigen::Vector3i triangle;
				for (int k = 0; k < 3; ++k)
					triangle[k] = static_cast<int>(first + face.mIndices[k]);
				surface.triangles.push_back(triangle);
			}
		}

		std::unique_ptr<Data> fromScene(const aiScene& scene, const std::string& path)
		{
			bool anyColours = false;
			for (unsigned int m = 0; m < scene.mNumMeshes; ++m)
				anyColours = anyColours || scene.mMeshes[m]->HasVertexColors(0);
			Surface surface;
			for (unsigned int m = 0; m < scene.mNumMeshes; ++m)
			{
				const size_t first = surface.vertices.size();
				appendVertices(*scene.mMeshes[m], anyColours, surface, path);
				appendTriangles(*scene.mMeshes[m], first, surface);
			}

			// A text STL file without a whole facet gives a mesh without vertices.
			if (surface.vertices.empty())
				failRead(path, "it holds no vertices");
			if (surface.triangles.empty())
				return std::make_unique<PointCloud>(std::move(surface.vertices), 0, 0, stemOf(path));
			if (surface.droppedFaces > 0)
				Log::warn(fmt::format("'{}': {} faces that are points or lines were left out of the mesh", path, surface.droppedFaces));
			auto mesh = std::make_unique<Mesh>(std::move(surface.vertices), std::move(surface.triangles), stemOf(path));
			if (anyColours)
				mesh->setBaseColors(std::move(surface.colours));
			return mesh;
		}

		/// An Assimp scene of one mesh in world coordinates, for the exporters.
		std::unique_ptr<aiScene> sceneOf(const Mesh& mesh)
		{
			auto scene = std::make_unique<aiScene>();
			scene->mRootNode = new aiNode();
			scene->mRootNode->mNumMeshes = 1;
			scene->mRootNode->mMeshes = new unsigned int[1]{0};
			scene->mNumMaterials = 1;
			scene->mMaterials = new aiMaterial*[1]{new aiMaterial()};
			auto* out = new aiMesh();
			scene->mNumMeshes = 1;
			scene->mMeshes = new aiMesh*[1]{out};
			out->mMaterialIndex = 0;
			out->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;

			const Eigen::Matrix4d& toWorld = mesh.matrixToWorld();
			out->mNumVertices = static_cast<unsigned int>(mesh.numberOfVertices());
			out->mVertices = new aiVector3D[out->mNumVertices];
			for (unsigned int v = 0; v < out->mNumVertices; ++v)
			{
				const Eigen::Vector3d p = toWorld.topLeftCorner<3, 3>() * mesh.vertex(static_cast<int>(v)) + toWorld.topRightCorner<3, 1>();
				out->mVertices[v] = aiVector3D(static_cast<ai_real>(p.x()), static_cast<ai_real>(p.y()), static_cast<ai_real>(p.z()));
			}
			if (mesh.hasVertexColors())
			{
				out->mColors[0] = new aiColor4D[out->mNumVertices];
				for (unsigned int v = 0; v < out->mNumVertices; ++v)
				{
					const Eigen::Vector4f& c = mesh.vertexColor(static_cast<int>(v));
					out->mColors[0][v] = aiColor4D(c[0], c[1], c[2], c[3]);
				}
			}
			out->mNumFaces = static_cast<unsigned int>(mesh.numberOfFaces());
			out->mFaces = new aiFace[out->mNumFaces];
			for (unsigned int f = 0; f < out->mNumFaces; ++f)
			{
				const Eigen::Vector3i& t = mesh.triangles()[f];
				out->mFaces[f].mNumIndices = 3;
				out->mFaces[f].mIndices = new unsigned int[3]{static_cast<unsigned>(t[0]), static_cast<unsigned>(t[1]), static_cast<unsigned>(t[2])};
			}
			return scene;
		}

		std::string exportWithAssimp(const Mesh& mesh, const char* formatId, const std::string& path)
		{
			const auto scene = sceneOf(mesh);
			Assimp::Exporter exporter;
			const aiExportDataBlob* blob = exporter.ExportToBlob(scene.get(), formatId);
			if (!blob)
				throw std::runtime_error("Cannot write '" + path + "': " + exporter.GetErrorString());
			return std::string(static_cast<const char*>(blob->data), blob->size);
		}

		/// Why the file of `points` (with `matrixToWorld`) would not read back; empty when it would.
		/// Readers take coordinates as floats and refuse what is not finite.
		std::string unreadable(const std::vector<Eigen::Vector3d>& points, const Eigen::Matrix4d& matrixToWorld, const char* noun)
		{
			constexpr double largest = std::numeric_limits<float>::max();
			for (size_t i = 0; i < points.size(); ++i)
			{
				if (!points[i].allFinite())
					return fmt::format("{} {} is not finite ({}, {}, {})", noun, i, points[i].x(), points[i].y(), points[i].z());
				const Eigen::Vector3d p = matrixToWorld.topLeftCorner<3, 3>() * points[i] + matrixToWorld.topRightCorner<3, 1>();
				if (!(p.cwiseAbs().maxCoeff() <= largest))
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
		const Format format = formatOf(path, "read");
		if (!fs::is_regular_file(fs::u8path(path)))
			failRead(path, "it is not a file");
		const MeshFileCheck check = checkFile(path, format);
		if (const std::string refusal = MemoryLimit::refusal(check.memoryBytes, "its " + check.contents); !refusal.empty())
			failRead(path, refusal);

		Assimp::Importer importer;
		importer.SetIOHandler(new OnlyThisFile(path)); // the importer owns it
		importer.SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS, aiComponent_NORMALS | aiComponent_TEXCOORDS | aiComponent_TANGENTS_AND_BITANGENTS);
		// The import steps trust every face index (triangulating a polygon reads its corners), so
		// the faces are checked between reading and the steps.
		const aiScene* scene = importer.ReadFile(path, 0);
		if (scene)
			checkFaces(*const_cast<aiScene*>(scene), path); // the importer's own scene, which the steps change too
		if (scene)
			scene = importer.ApplyPostProcessing(importSteps(format));
		if (!scene)
			failRead(path, importer.GetErrorString());
		return fromScene(*scene, path);
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
			case Format::Obj: SafeSave::writeFile(path, exportWithAssimp(*mesh, "objnomtl", path)); return;
			case Format::Stl: SafeSave::writeFile(path, exportWithAssimp(*mesh, "stlb", path)); return;
		}
	}
}
