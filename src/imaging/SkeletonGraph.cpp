#include "src/imaging/SkeletonGraph.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include <Eigen/Geometry>
#include <Eigen/LU>

#include "host/core/Log.h"
#include "host/core/ThreadTeam.h"
#include "host/lib/GlGradient.h"
#include "host/lib/ImageMath/ArrayGl.h"
#include "host/lib/SharedImage.h"
#include "src/graph/Graph.h"
#include "src/imaging/Array.h"
#include "src/imaging/GradientTransform.h"

namespace Quorvale::SkeletonGraph
{
	namespace
	{
		const char* const kCategory = "Graph.CenterlineGraphExtractionAlgorithm";

		/// One of the 26 neighbour offsets, with what the scan does along it.
		struct Offset
		{
			int dx, dy, dz;
			int weight;
			/// The voxel looks at this neighbour itself (the offset lies in the scanned half).
			bool looksAhead;
			/// The neighbour looks back at the voxel (the opposite offset lies in the scanned half).
			bool looksBack;
		};

		/// The half of the neighbourhood the scan looks at from each voxel.
		constexpr bool inScannedHalf(int dx, int dy, int dz)
		{
			if (dz == 1)
				return true;
			return dz == 0 && !(dx < dy) && !(dx == 0 && dy == 0);
		}

		/// The 26 offsets in ascending order of their linear index step, which is the ascending
		/// order of the neighbours' keys.
		const std::array<Offset, 26>& offsets()
		{
			static const std::array<Offset, 26> table = []
			{
				std::array<Offset, 26> out{};
				std::size_t i = 0;
				for (int dz = -1; dz <= 1; ++dz)
					for (int dy = -1; dy <= 1; ++dy)
						for (int dx = -1; dx <= 1; ++dx)
						{
							if (dx == 0 && dy == 0 && dz == 0)
								continue;
							out[i++] = Offset{dx,
							                  dy,
							                  dz,
							                  std::abs(dx) + std::abs(dy) + std::abs(dz),
							                  inScannedHalf(dx, dy, dz),
							                  inScannedHalf(-dx, -dy, -dz)};
						}
				return out;
			}();
			return table;
		}

		template <typename T>
		bool isAccepted(T value)
		{
			if constexpr (std::is_same_v<T, float>)
				return value > 0.5f;
			else
				return static_cast<double>(value) > 0.5;
		}

		/// A skeleton voxel and the offsets (bits in `offsets()` order) along which it has an edge.
		struct ScannedVoxel
		{
			std::uint64_t key;
			std::uint32_t links;
		};

		/// The scan of one slice of an image: the skeleton voxels in it and their links, in
		/// ascending key order.
		template <typename T>
		class SliceScan
		{
		public:
			explicit SliceScan(const TypedImage<T>& image)
			    : m_values(image.pointer())
			    , m_channels(static_cast<std::size_t>(image.descriptor().channels()))
			    , m_dims(image.descriptor().dimensions().template cast<std::int64_t>())
			{
				const auto& table = offsets();
				for (std::size_t o = 0; o < table.size(); ++o)
					m_steps[o] = table[o].dx + m_dims.x() * (table[o].dy + m_dims.y() * table[o].dz);
			}

			std::int64_t slices() const { return m_dims.z(); }
			/// The linear index step of each offset.
			const std::array<std::int64_t, 26>& steps() const { return m_steps; }

			/// Appends the voxels of slice `z` that have an edge to `found`.
			void operator()(std::int64_t z, std::vector<ScannedVoxel>& found) const
			{
				// Locals, so that the appends cannot be taken to change them.
				const T* const values = m_values;
				const std::size_t channels = m_channels;
				const std::int64_t nx = m_dims.x(), ny = m_dims.y(), nz = m_dims.z();
				const std::array<std::int64_t, 26> steps = m_steps;
				const auto& table = offsets();
				for (std::int64_t y = 0; y < ny; ++y)
					for (std::int64_t x = 0; x < nx; ++x)
					{
						const std::int64_t key = x + nx * (y + ny * z);
						const T value = values[static_cast<std::size_t>(key) * channels];
						if (value == T(0))
							continue;
						const bool accepted = isAccepted(value);
						std::uint32_t links = 0;
						for (std::size_t o = 0; o < table.size(); ++o)
						{
							const Offset& d = table[o];
							const std::int64_t ox = x + d.dx, oy = y + d.dy, oz = z + d.dz;
							if (ox < 0 || oy < 0 || oz < 0 || ox >= nx || oy >= ny || oz >= nz)
								continue;
							const T other = values[static_cast<std::size_t>(key + steps[o]) * channels];
							if ((d.looksAhead && isAccepted(other)) || (d.looksBack && accepted && other != T(0)))
								links |= 1u << o;
						}
						if (links != 0)
							found.push_back(ScannedVoxel{static_cast<std::uint64_t>(key), links});
					}
			}

		private:
			const T* m_values;
			std::size_t m_channels;
			Eigen::Matrix<std::int64_t, 3, 1> m_dims;
			std::array<std::int64_t, 26> m_steps{};
		};

		/// The raw graph of the scanned slices, in order; each slice is freed once it is in.
		RawSkeletonGraph joinSlices(std::vector<std::vector<ScannedVoxel>>& slices, const std::array<std::int64_t, 26>& steps)
		{
			const auto& table = offsets();
			std::size_t nodes = 0, entries = 0;
			for (const auto& slice : slices)
			{
				nodes += slice.size();
				for (const ScannedVoxel& voxel : slice)
					entries += static_cast<std::size_t>(__builtin_popcount(voxel.links));
			}
			RawSkeletonGraph graph;
			graph.reserve(nodes, entries);
			for (auto& slice : slices)
			{
				for (const ScannedVoxel& voxel : slice)
				{
					graph.appendNode(voxel.key);
					for (std::uint32_t links = voxel.links; links != 0; links &= links - 1)
					{
						const auto o = static_cast<std::size_t>(__builtin_ctz(links));
						graph.appendEntry(static_cast<std::uint64_t>(static_cast<std::int64_t>(voxel.key) + steps[o]), table[o].weight);
					}
				}
				std::vector<ScannedVoxel>().swap(slice);
			}
			return graph;
		}

		/// The voxel the continuous pixel coordinates fall into, truncating towards zero; empty
		/// outside the grid (or for non-finite coordinates).
		std::optional<Eigen::Vector3i> voxelAt(const Eigen::Vector3d& pixel, const Eigen::Vector3i& dimensions)
		{
			Eigen::Vector3i voxel;
			for (int a = 0; a < 3; ++a)
			{
				// Anything in (-1, 0) truncates to voxel 0; NaN fails both comparisons.
				if (!(pixel[a] > -1.0 && pixel[a] < static_cast<double>(dimensions[a])))
					return std::nullopt;
				voxel[a] = static_cast<int>(pixel[a]);
			}
			return voxel;
		}

		/// The image-unit gradient of a float potential on its own grid: central differences in
		/// pixel units, turned into image units by the inverse pixel-to-image matrix.
		std::unique_ptr<SharedImage> imageGradient(const SharedImage& potential)
		{
			const ImageDescriptor& layout = potential.descriptor();
			const ImageDescriptor gradientLayout(ImageDescriptor::Float, layout.dimensions(), 3, layout.spacing(), layout.isMetric());
			auto gradient = std::make_unique<SharedImage>(TypedImage<float>::create(gradientLayout));
			gradient->setMatrixToWorld(potential.matrixToWorld());
			GlGradient().compute(potential, *gradient);

			// Channel c of the result is sum_k A(k, c) g_k: the transform's matrix is A transposed.
			const Eigen::Matrix3d pixelToImage = layout.pixelToImageMatrix().topLeftCorner<3, 3>();
			const Eigen::Matrix3d inverse = pixelToImage.inverse();
			ImageMath::ArrayImage target(*gradient, false, ImageMath::internal::ArrayGl::nearestFilter,
			                             ImageMath::internal::ArrayGl::clampToEdge);
			const auto expression = ImageMath::makeGradientTransform(target, inverse.transpose(), ImageMath::GpuFirst);
			ImageMath::evaluateGradientTransform(target, expression);
			return gradient;
		}
	}

	template <typename T>
	RawSkeletonGraph buildRawSkeletonGraph(const TypedImage<T>& image)
	{
		const ImageDescriptor& layout = image.descriptor();
		const SliceScan<T> scan(image);
		// Each slice collects its own voxels; the slices are joined in order afterwards, so the
		// keys come out ascending whatever the thread count.
		const std::int64_t nz = scan.slices();
		std::vector<std::vector<ScannedVoxel>> slices(static_cast<std::size_t>(std::max<std::int64_t>(nz, 0)));
		const Threading::ThreadTeam team(layout.size() >= (1u << 15));
#pragma omp parallel for schedule(dynamic, 1) if (layout.size() >= (1u << 15)) num_threads(team.size())
		for (std::int64_t z = 0; z < nz; ++z)
			scan(z, slices[static_cast<std::size_t>(z)]);
		return joinSlices(slices, scan.steps());
	}

	template RawSkeletonGraph buildRawSkeletonGraph<unsigned char>(const TypedImage<unsigned char>&);
	template RawSkeletonGraph buildRawSkeletonGraph<short>(const TypedImage<short>&);
	template RawSkeletonGraph buildRawSkeletonGraph<unsigned short>(const TypedImage<unsigned short>&);
	template RawSkeletonGraph buildRawSkeletonGraph<float>(const TypedImage<float>&);

	RawSkeletonGraph skeletonAsRawGraph(const SharedImage& image, bool simplify)
	{
		RawSkeletonGraph graph;
		const MemImage* memory = image.mem();
		switch (image.descriptor().pixelType())
		{
			case ImageDescriptor::UnsignedChar:
				graph = buildRawSkeletonGraph(dynamic_cast<const TypedImage<unsigned char>&>(*memory));
				break;
			case ImageDescriptor::Short: graph = buildRawSkeletonGraph(dynamic_cast<const TypedImage<short>&>(*memory)); break;
			case ImageDescriptor::UnsignedShort:
				graph = buildRawSkeletonGraph(dynamic_cast<const TypedImage<unsigned short>&>(*memory));
				break;
			case ImageDescriptor::Float: graph = buildRawSkeletonGraph(dynamic_cast<const TypedImage<float>&>(*memory)); break;
			default: break;
		}
		if (simplify)
			simplifyRawSkeletonGraph(graph);
		return graph;
	}

	bool hasAlternativePath(const RawSkeletonGraph& graph, std::uint64_t current, std::uint64_t target, std::uint64_t excluded,
	                        int maxWeight, int depth)
	{
		if (depth < 1)
			return false;
		// The depth is the edge weight less one (at most 2 on a voxel grid), so the recursion stays shallow.
		for (const auto& entry : graph.entriesOf(current))
		{
			if (entry.weight > maxWeight)
				continue;
			if (entry.key == target)
			{
				if (current != excluded)
					return true;
			}
			else if (hasAlternativePath(graph, entry.key, target, excluded, maxWeight, depth - 1))
				return true;
		}
		return false;
	}

	void simplifyRawSkeletonGraph(RawSkeletonGraph& graph)
	{
		for (std::size_t index = 0; index < graph.nodeCount(); ++index)
		{
			const std::uint64_t u = graph.key(index);
			// Entries are re-read after every removal: the run of u shrinks in place.
			std::size_t position = 0;
			while (position < graph.entries(index).size())
			{
				const auto [v, w] = graph.entries(index)[position];
				bool redundant = false;
				if (w >= 2)
				{
					for (const auto& entry : graph.entriesOf(v))
						if (entry.weight <= w && entry.key != u && hasAlternativePath(graph, entry.key, u, v, w, w - 1))
						{
							redundant = true;
							break;
						}
				}
				if (redundant)
					graph.removeEdge(u, v);
				else
					++position;
			}
		}
	}

	void refineNodeOnPotential(Eigen::Vector3d& position, const SharedImage& potential, const SharedImage& gradient)
	{
		const ImageDescriptor& layout = potential.descriptor();
		const auto& values = dynamic_cast<const TypedImage<float>&>(*potential.mem());
		const auto& slopes = dynamic_cast<const TypedImage<float>&>(*gradient.mem());
		const Eigen::Matrix4d imageToPixel = layout.imageToPixelMatrix();
		const double step = layout.spacing().minCoeff();

		auto voxelOf = [&](const Eigen::Vector3d& p) { return voxelAt((imageToPixel * p.homogeneous()).head<3>(), layout.dimensions()); };
		auto potentialAt = [&](const Eigen::Vector3i& v) { return layout.storageToOriginal(values.at(v.x(), v.y(), v.z(), 0)); };

		const auto start = voxelOf(position);
		if (!start)
			return;
		double current = potentialAt(*start);
		const Eigen::Vector3d g(slopes.at(start->x(), start->y(), start->z(), 0), slopes.at(start->x(), start->y(), start->z(), 1),
		                        slopes.at(start->x(), start->y(), start->z(), 2));
		for (int i = 0; i < 100; ++i)
		{
			const Eigen::Vector3d saved = position;
			position -= step * g;
			const auto reached = voxelOf(position);
			const double value = reached ? potentialAt(*reached) : current;
			if (!reached || !(value < current))
			{
				position = saved;
				return;
			}
			current = value;
		}
	}

	std::unique_ptr<Graph> rawSkeletonGraphToGraph(const RawSkeletonGraph& raw, const ImageDescriptorWorld& descriptor,
	                                               const SharedImage* potential)
	{
		std::unique_ptr<SharedImage> gradient;
		if (potential)
		{
			if (potential->descriptor().pixelType() != ImageDescriptor::Float)
			{
				Log::log(Log::Error, kCategory, "Expected potential image to be of type float");
				return nullptr;
			}
			gradient = imageGradient(*potential);
		}

		const bool twoD = descriptor.dimension() == 2;
		auto graph = std::make_unique<Graph>(Graph::Type::Undirected, twoD ? Graph::Dimension::TwoD : Graph::Dimension::ThreeD);
		graph->setMatrixToWorld(descriptor.matrixToWorld());

		const Eigen::Matrix4d pixelToImage = descriptor.pixelToImageMatrix();
		for (std::size_t i = 0; i < raw.nodeCount(); ++i)
		{
			const Eigen::Vector3i voxel = descriptor.coord(static_cast<std::size_t>(raw.key(i)));
			Eigen::Vector3d position = (pixelToImage * voxel.cast<double>().homogeneous()).head<3>();
			if (gradient)
				refineNodeOnPotential(position, *potential, *gradient);
			if (twoD)
				position.z() = 0.0;
			graph->addNode(Graph::NodeInfo(position, {}));
		}
		// Node i of the raw graph became node i + 1; each edge is added from its smaller end.
		for (std::size_t i = 0; i < raw.nodeCount(); ++i)
			for (const auto& entry : raw.entries(i))
				if (entry.key > raw.key(i))
					graph->addEdge(i + 1, raw.at(entry.key) + 1, Graph::EdgeInfo());
		return graph;
	}
}
