#include "src/imaging/LabelMapRasterisationGpu.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <stdexcept>

#include <fmt/format.h>

#include "host/gl/Context.h"
#include "host/gl/ContextGuard.h"
#include "host/gl/MemoryBarrier.h"
#include "host/gl/Policy.h"
#include "host/gl/ProgramCache.h"
#include "host/gl/ShaderStorageBuffer.h"
#include "host/gl/Texture.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/imaging/LabelConversion.h"

namespace Quorvale::LabelMapRasterisation
{
	namespace
	{
		const char* const kShaderPath = "QuorvaleGraph/GraphToLabelVessel.comp";
		/// The label texture's value where no edge reached.
		constexpr unsigned int kUnlabelled = 65535u;

		/// Voxel tests that one invocation makes in one pass (the shader's window).
		constexpr std::uint64_t kTestsPerPass = 32768;

		/// How many passes the shader needs until every edge has made all its voxel tests: the
		/// largest count of one edge, (samples + 1) × box, with one sample and one voxel per box
		/// side to spare for float rounding that differs between the processors. Throws
		/// std::length_error when an edge's tests do not fit in the shader's 32-bit count.
		std::uint64_t passCount(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges,
		                        const std::vector<float>& radii, const ImageDescriptorWorld& grid, const Eigen::Matrix4d& graphToWorld,
		                        const Eigen::Vector3d& metric, Mode mode, float sampleSpacing)
		{
			const Eigen::Matrix4f graphToPixel = graphToPixelMatrix(grid, graphToWorld);
			const Eigen::Vector3i dimensions = grid.dimensions();
			std::uint64_t largest = 0;
			for (std::size_t e = 0; e < edges.size(); ++e)
			{
				const auto record = edgeRecord(toVoxel(graphToPixel, nodes[static_cast<std::size_t>(edges[e].x())]),
				                                       toVoxel(graphToPixel, nodes[static_cast<std::size_t>(edges[e].y())]), radii[e],
				                                       metric.cast<float>(), mode, sampleSpacing, dimensions.z());
				if (!record)
					continue;
				std::uint64_t tests = static_cast<std::uint64_t>(record->samples) + 1;
				for (int axis = 0; axis < 3; ++axis)
					tests *= static_cast<std::uint64_t>(std::min<std::int64_t>(2 * std::int64_t{record->halfExtent[axis]} + 4, dimensions[axis]));
				largest = std::max(largest, tests);
			}
			if (largest >= (std::uint64_t{1} << 31))
				throw std::length_error(fmt::format("an edge needs {} voxel tests, more than the shader counts", largest));
			return (largest + kTestsPerPass - 1) / kTestsPerPass;
		}

		/// A byte count that a storage block of the driver can hold, or the reason it cannot.
		void checkBlock(const char* what, std::size_t bytes)
		{
			const std::size_t limit = GL::ShaderStorageBuffer::maxBlockSize();
			if (bytes > limit)
				throw std::length_error(fmt::format("the {} list takes {} bytes, the driver's storage blocks hold {}", what, bytes, limit));
		}

		/// Puts `bytes` bytes at `data` into `buffer` (made, or remade at another size, as needed)
		/// and binds it to shader storage binding `binding`. Nothing for no bytes.
		void fillBuffer(std::unique_ptr<GL::ShaderStorageBuffer>& buffer, const void* data, std::size_t bytes, unsigned int binding)
		{
			if (bytes == 0)
				return;
			if (!buffer || buffer->size() != bytes)
				buffer = std::make_unique<GL::ShaderStorageBuffer>(bytes, data);
			else
				buffer->upload(data, bytes);
			buffer->bindBase(binding);
		}

		static_assert(sizeof(Eigen::Vector4f) == 16 && sizeof(Eigen::Vector2i) == 8, "the lists are uploaded as they are");

		/// Throws when a list is larger than the driver's storage blocks.
		void checkBlocks(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges, const std::vector<float>& radii)
		{
			checkBlock("node", nodes.size() * sizeof(Eigen::Vector4f));
			checkBlock("edge", edges.size() * sizeof(Eigen::Vector2i));
			checkBlock("radius", radii.size() * sizeof(float));
		}

		/// Puts the lists into the resources' buffers, bound to bindings 0, 1, 2.
		void uploadLists(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges, const std::vector<float>& radii,
		                 GpuResources& resources)
		{
			fillBuffer(resources.nodeBuffer, nodes.data(), nodes.size() * sizeof(Eigen::Vector4f), 0);
			fillBuffer(resources.edgeBuffer, edges.data(), edges.size() * sizeof(Eigen::Vector2i), 1);
			fillBuffer(resources.radiusBuffer, radii.data(), radii.size() * sizeof(float), 2);
		}

		/// Sets the arguments of `program`, which writes the label texture bound to image unit 0,
		/// and runs it in passes of `kTestsPerPass` voxel tests per invocation until every edge has
		/// made all of its tests.
		void dispatchPasses(GL::Program& program, const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges,
		                    const std::vector<float>& radii, const ImageDescriptorWorld& grid, const Eigen::Matrix4d& graphToWorld,
		                    const Eigen::Vector3d& metric, Mode mode, float sampleSpacing, int numEdges)
		{
			program.setArgument("u_outputTexture", 0);
			program.setArgument("u_graphToPixelMatrix", Eigen::Matrix4d(grid.worldToPixelMatrix() * graphToWorld));
			program.setArgument("u_outputDims", grid.dimensions());
			program.setArgument("u_numEdges", numEdges);
			program.setArgument("u_metric", Eigen::Vector3f(metric.cast<float>()));
			if (mode == Mode::Vessel)
				program.setArgument("u_minSpacing", sampleSpacing);
			const auto [groupsX, groupsY] = workGroupGrid(static_cast<std::uint64_t>(numEdges));
			const std::uint64_t passes = passCount(nodes, edges, radii, grid, graphToWorld, metric, mode, sampleSpacing);
			for (std::uint64_t pass = 0; pass < passes && groupsX > 0; ++pass)
			{
				program.setArgument("u_workOffset", static_cast<unsigned int>(pass * kTestsPerPass));
				program.dispatchCompute(groupsX, groupsY);
			}
		}

		/// The unsigned 32-bit codes that the shader leaves in the label texture: 0 where an edge
		/// labels the voxel. Throws what the driver or the host's GL layer throws.
		std::unique_ptr<TypedImage<unsigned int>> labelCodes(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges,
		                                                    const std::vector<float>& radii, const ImageDescriptorWorld& grid,
		                                                    const Eigen::Matrix4d& graphToWorld, const Eigen::Vector3d& metric, Mode mode,
		                                                    float sampleSpacing, int numEdges, GpuResources& resources)
		{
			checkBlocks(nodes, edges, radii);
			const Eigen::Vector3i dimensions = grid.dimensions();
			// The texture first: it is what a driver refuses (size limits, out of memory).
			GL::Texture labels(dimensions, GL::Texture::formatFor(ImageDescriptor::UnsignedInt, 1));
			auto codes =
			    TypedImage<unsigned int>::create(ImageDescriptor(ImageDescriptor::UnsignedInt, dimensions, 1, grid.spacing(), grid.isMetric()));
			codes->fill(kUnlabelled);
			labels.upload(codes->pointer());
			resources.programCache = std::make_unique<GL::ProgramCache>(kShaderPath, 10);
			const std::shared_ptr<GL::Program> program = resources.programCache->getProgram(mode == Mode::Vessel ? "#define CYLINDER_MODE;" : "");
			uploadLists(nodes, edges, radii, resources);

			program->enable();
			program->bindImage(0, labels, GL::Program::Access::WriteOnly);
			dispatchPasses(*program, nodes, edges, radii, grid, graphToWorld, metric, mode, sampleSpacing, numEdges);
			GL::memoryBarrier(GL::Barrier::ShaderImageAccess | GL::Barrier::TextureUpdate);
			program->disable();
			labels.download(codes->pointer());
			return codes;
		}

		/// 1 where the codes hold 0. The codes are unsigned 32-bit, so the conversion runs on the CPU.
		std::unique_ptr<SharedImage> labelsOfCodes(std::unique_ptr<TypedImage<unsigned int>> codes, const ImageDescriptorWorld& grid)
		{
			SharedImage codeImage(std::move(codes));
			codeImage.setMatrixToWorld(grid.matrixToWorld());
			auto result = std::make_unique<SharedImage>(TypedImage<unsigned char>::create(
			    ImageDescriptor(ImageDescriptor::UnsignedChar, grid.dimensions(), 1, grid.spacing(), grid.isMetric())));
			result->setMatrixToWorld(grid.matrixToWorld());
			const ImageMath::ArrayImage source(codeImage, false, ImageMath::internal::ArrayGl::nearestFilter,
			                                   ImageMath::internal::ArrayGl::clampToEdge);
			ImageMath::ArrayImage target(*result, false, ImageMath::internal::ArrayGl::nearestFilter, ImageMath::internal::ArrayGl::clampToEdge);
			ImageMath::evaluateLabelConversion(target, ImageMath::makeLabelConversion(source));
			return result;
		}
	}

	GpuResources::GpuResources() = default;
	GpuResources::~GpuResources() = default;
	GpuResources::GpuResources(GpuResources&&) noexcept = default;
	GpuResources& GpuResources::operator=(GpuResources&&) noexcept = default;

	std::optional<std::string> gpuUnavailable()
	{
		if (GL::policy() == GL::Policy::None)
			return GL::Context::failure() + ", rasterising on the CPU";
		if (!GL::Context::isAvailable())
			return "No OpenGL context (" + GL::Context::failure() + "), using CPU fallback";
		if (GL::versionInfo() < Utils::Version(4, 3, 0))
			return std::string("OpenGL 4.3 not available, using CPU fallback");
		return std::nullopt;
	}

	std::unique_ptr<SharedImage> rasteriseOnGpu(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges,
	                                            const std::vector<float>& radii, const ImageDescriptorWorld& grid, const Eigen::Matrix4d& graphToWorld,
	                                            const Eigen::Vector3d& metric, Mode mode, float sampleSpacing, int numEdges,
	                                            GpuResources& resources)
	{
		if (const std::string refusal = memoryRefusal(grid, kGpuBytesPerVoxel, " on the GPU"); !refusal.empty())
			throw GpuError(refusal);
		GL::ContextGuard guard;
		if (!guard)
			return nullptr;
		std::unique_ptr<TypedImage<unsigned int>> codes;
		try
		{
			codes = labelCodes(nodes, edges, radii, grid, graphToWorld, metric, mode, sampleSpacing, numEdges, resources);
		}
		catch (const std::exception& e)
		{
			throw GpuError(e.what());
		}
		return labelsOfCodes(std::move(codes), grid);
	}
}

