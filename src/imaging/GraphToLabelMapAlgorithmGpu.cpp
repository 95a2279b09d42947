#include "src/imaging/GraphToLabelMapAlgorithm.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <stdexcept>

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/gl/Context.h"
#include "host/gl/ContextGuard.h"
#include "host/gl/MemoryBarrier.h"
#include "host/gl/ProgramCache.h"
#include "host/gl/ShaderStorageBuffer.h"
#include "host/gl/Texture.h"
#include "host/lib/SharedImage.h"
#include "host/lib/SharedImageSet.h"
#include "host/lib/TypedImage.h"
#include "src/graph/Graph.h"
#include "src/imaging/LabelConversion.h"

namespace Quorvale
{
	namespace
	{
		const char* const kLogCategory = "Graph.GraphToLabelMapAlgorithm";
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
		                        const Eigen::Vector3d& metric, GraphToLabelMapAlgorithm::Mode mode, float sampleSpacing)
		{
			namespace Raster = LabelMapRasterisation;
			const Eigen::Matrix4f graphToPixel = Raster::graphToPixelMatrix(grid, graphToWorld);
			const Eigen::Vector3i dimensions = grid.dimensions();
			std::uint64_t largest = 0;
			for (std::size_t e = 0; e < edges.size(); ++e)
			{
				const auto record = Raster::edgeRecord(Raster::toVoxel(graphToPixel, nodes[static_cast<std::size_t>(edges[e].x())]),
				                                       Raster::toVoxel(graphToPixel, nodes[static_cast<std::size_t>(edges[e].y())]), radii[e],
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
	}

	bool GraphToLabelMapAlgorithm::gpuAvailable() { return GL::versionInfo() >= Utils::Version(4, 3, 0); }

	void GraphToLabelMapAlgorithm::fillBuffer(std::unique_ptr<GL::ShaderStorageBuffer>& buffer, const void* data, std::size_t bytes,
	                                          unsigned int binding)
	{
		if (bytes == 0)
			return;
		if (!buffer || buffer->size() != bytes)
			buffer = std::make_unique<GL::ShaderStorageBuffer>(bytes, data);
		else
			buffer->upload(data, bytes);
		buffer->bindBase(binding);
	}

	bool GraphToLabelMapAlgorithm::computeGPU(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges,
	                                          const std::vector<float>& radii, const ImageDescriptorWorld& grid, int numEdges,
	                                          const Eigen::Vector3d& metric, float sampleSpacing)
	{
		static_assert(sizeof(Eigen::Vector4f) == 16 && sizeof(Eigen::Vector2i) == 8, "the lists are uploaded as they are");
		GL::ContextGuard guard;
		if (!guard)
		{
			Log::info("OpenGL context not available, using CPU fallback", kLogCategory);
			return false;
		}
		const Eigen::Vector3i dimensions = grid.dimensions();
		std::unique_ptr<TypedImage<unsigned int>> codes;
		try
		{
			checkBlock("node", nodes.size() * sizeof(Eigen::Vector4f));
			checkBlock("edge", edges.size() * sizeof(Eigen::Vector2i));
			checkBlock("radius", radii.size() * sizeof(float));
			m_programCache = std::make_unique<GL::ProgramCache>(kShaderPath, 10);
			const std::shared_ptr<GL::Program> program = m_programCache->getProgram(mode.value() == Mode::Vessel ? "#define CYLINDER_MODE;" : "");
			fillBuffer(m_nodeBuffer, nodes.data(), nodes.size() * sizeof(Eigen::Vector4f), 0);
			fillBuffer(m_edgeBuffer, edges.data(), edges.size() * sizeof(Eigen::Vector2i), 1);
			fillBuffer(m_radiusBuffer, radii.data(), radii.size() * sizeof(float), 2);

			// The texture first: it is what a driver refuses (size limits, out of memory).
			GL::Texture labels(dimensions, GL::Texture::formatFor(ImageDescriptor::UnsignedInt, 1));
			codes = TypedImage<unsigned int>::create(ImageDescriptor(ImageDescriptor::UnsignedInt, dimensions, 1, grid.spacing(), grid.isMetric()));
			codes->fill(kUnlabelled);
			labels.upload(codes->pointer());

			program->enable();
			program->bindImage(0, labels, GL::Program::Access::WriteOnly);
			program->setArgument("u_outputTexture", 0);
			program->setArgument("u_graphToPixelMatrix", Eigen::Matrix4d(grid.worldToPixelMatrix() * m_graph.matrixToWorld()));
			program->setArgument("u_outputDims", dimensions);
			program->setArgument("u_numEdges", numEdges);
			program->setArgument("u_metric", Eigen::Vector3f(metric.cast<float>()));
			if (mode.value() == Mode::Vessel)
				program->setArgument("u_minSpacing", sampleSpacing);
			const auto [groupsX, groupsY] = LabelMapRasterisation::workGroupGrid(static_cast<std::uint64_t>(numEdges));
			const std::uint64_t passes =
			    passCount(nodes, edges, radii, grid, m_graph.matrixToWorld(), metric, mode.value(), sampleSpacing);
			for (std::uint64_t pass = 0; pass < passes && groupsX > 0; ++pass)
			{
				program->setArgument("u_workOffset", static_cast<unsigned int>(pass * kTestsPerPass));
				program->dispatchCompute(groupsX, groupsY);
			}
			GL::memoryBarrier(GL::Barrier::ShaderImageAccess | GL::Barrier::TextureUpdate);
			program->disable();
			labels.download(codes->pointer());
		}
		catch (const std::exception& e)
		{
			Log::info(fmt::format("The GPU cannot rasterise the graph ({}), using CPU fallback", e.what()), kLogCategory);
			return false;
		}

		// 1 where the codes hold 0. The codes are unsigned 32-bit, so the conversion runs on the CPU.
		SharedImage codeImage(std::move(codes));
		codeImage.setMatrixToWorld(grid.matrixToWorld());
		auto result = std::make_unique<SharedImage>(
		    TypedImage<unsigned char>::create(ImageDescriptor(ImageDescriptor::UnsignedChar, dimensions, 1, grid.spacing(), grid.isMetric())));
		result->setMatrixToWorld(grid.matrixToWorld());
		const ImageMath::ArrayImage source(codeImage, false, ImageMath::internal::ArrayGl::nearestFilter, ImageMath::internal::ArrayGl::clampToEdge);
		ImageMath::ArrayImage target(*result, false, ImageMath::internal::ArrayGl::nearestFilter, ImageMath::internal::ArrayGl::clampToEdge);
		ImageMath::evaluateLabelConversion(target, ImageMath::makeLabelConversion(source));
		m_output = std::make_unique<SharedImageSet>(std::move(result));
		m_output->setModality(Data::LabelMap);
		m_status = Success;
		return true;
	}
}
