#pragma once

#include "host/core/Parameter.h"
#include "host/lib/Algorithm.h"
#include "host/lib/ImageDescriptorWorld.h"
#include "src/imaging/LabelMapRasterisation.h"
#include "src/imaging/LabelMapRasterisationGpu.h"

#include <Eigen/Core>

#include <memory>
#include <optional>
#include <vector>

namespace Quorvale
{
	class Graph;
	class SharedImage;
	class SharedImageSet;

	/// Rasterises a graph whose edges carry a "diameter" into a binary label map (modality label
	/// map, unsigned 8-bit): 1 at every voxel within an edge's radius of that edge, 0 elsewhere (see
	/// `LabelMapRasterisation` for the exact rule). The grid copies a reference image's geometry, or
	/// is fitted around the graph with the "spacing" value. The work runs on the GPU with the
	/// library's compute shader when OpenGL 4.3 is available and "forceCPU" is false, otherwise on
	/// the CPU; both give the same image. The work is `LabelMapRasterisation::prepare` and the
	/// rasterisations of src/imaging/LabelMapRasterisation.h and LabelMapRasterisationGpu.h; the
	/// algorithm reads its parameters, picks the path and turns errors into its status and log.
	class GraphToLabelMapAlgorithm : public Algorithm
	{
	public:
		using Mode = LabelMapRasterisation::Mode;

		/// Works on `graph`, which must outlive the algorithm; `referenceGrid` is the output grid when
		/// given (then "spacing" is hidden).
		GraphToLabelMapAlgorithm(const Graph& graph, std::optional<ImageDescriptorWorld> referenceGrid);
		~GraphToLabelMapAlgorithm() override;

		/// True when `data` holds one graph and at most one image set (holding an image), nothing
		/// else; the set's current image is the reference grid. With `out`, stores a new algorithm
		/// there.
		static bool createCompatible(const DataList& data, Algorithm** out);

		/// Builds the label map, named after the graph. Status 0 with the image; 2 with an error and
		/// nothing allocated when the graph has no nodes or no "diameter" edge feature, or for unsafe
		/// input (a spacing that is not positive and finite, a matrix, positions or diameters that are
		/// not finite, negative diameters, more nodes or edges than 32-bit indices hold, a grid or an
		/// edge too large to rasterise); 1 with an error and nothing allocated when the label map
		/// would be empty (no edges, every diameter zero) or exceed the memory limit, and 1 with an
		/// error when the image cannot be allocated.
		void compute() override;
		/// The label map of the last `compute`; the algorithm keeps none.
		OwningDataList takeOutput() override;

		/// The voxel size (world units) of a grid fitted around the graph.
		Parameter<double> spacing{"spacing", 1.0, this};
		Parameter<Mode> mode{"mode", Mode::Centerline, this};
		/// Rasterise on the CPU even when OpenGL 4.3 is available.
		Parameter<bool> forceCPU{"forceCPU", false, this};

	protected:
		/// The GPU path, with the arguments of `computeCPU`. Returns false, having produced nothing,
		/// when the driver cannot hold the work (texture size, out of memory, buffer limits); the
		/// caller then takes the CPU path.
		bool computeGPU(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges, const std::vector<float>& radii,
		                const ImageDescriptorWorld& grid, int numEdges, const Eigen::Vector3d& metric, float sampleSpacing);
		/// The CPU path: `LabelMapRasterisation::rasterise` with a pool of one worker per hardware
		/// thread, as many of them taking part as the machine has free; progress is reported from
		/// the calling thread. `sampleSpacing` is the smallest spacing in scaled units.
		void computeCPU(const std::vector<Eigen::Vector4f>& nodes, const std::vector<Eigen::Vector2i>& edges, const std::vector<float>& radii,
		                const ImageDescriptorWorld& grid, int numEdges, const Eigen::Vector3d& metric, float sampleSpacing);

	private:
		/// Hands the unsigned 8-bit image of `grid` over as the output (modality label map).
		void setOutput(std::unique_ptr<MemImage> labels, const ImageDescriptorWorld& grid);
		void setOutput(std::unique_ptr<SharedImage> labels);
		/// True when the GPU path is to be tried: "forceCPU" is false and OpenGL 4.3 is available
		/// (else the log says why not).
		bool gpuWanted() const;

		const Graph& m_graph;
		std::optional<ImageDescriptorWorld> m_referenceGrid;
		/// The program cache and the node, edge and radius buffers of the GPU runs.
		LabelMapRasterisation::GpuResources m_gpu;
		std::unique_ptr<SharedImageSet> m_output;
	};
}
