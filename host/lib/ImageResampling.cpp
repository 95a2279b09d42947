#include "host/lib/ImageResampling.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "host/core/ThreadTeam.h"
#include "host/lib/ImageProcessing.h"

namespace Quorvale::ImageResampling
{
	namespace
	{
		/// Cells closer than this (in source voxels) merely touch: grids whose cell borders
		/// coincide must not pick up the neighbouring voxel through rounding.
		constexpr double kTouch = 1e-6;
		/// Below this many output elements of a step the step runs on the calling thread.
		constexpr std::size_t kParallelElements = 1 << 15;

		/// The inclusive index range of the source voxels whose cells overlap [a, b] on an axis of n
		/// voxels; empty when lo > hi.
		struct Range
		{
			int lo = 0;
			int hi = -1;
			bool isEmpty() const { return lo > hi; }
		};

		Range overlapping(double a, double b, int n)
		{
			// Clamped first so that far-away cells cannot overflow the conversion.
			a = std::clamp(a, -2.0, n + 2.0);
			b = std::clamp(b, -2.0, n + 2.0);
			Range r;
			r.lo = std::max(static_cast<int>(std::floor(a - 0.5 + kTouch)) + 1, 0);
			r.hi = std::min(static_cast<int>(std::ceil(b + 0.5 - kTouch)) - 1, n - 1);
			return r;
		}

		/// Keeps the larger value; NaN gives way to any number.
		template <typename T>
		void keepMax(T& current, T value)
		{
			if constexpr (std::is_floating_point_v<T>)
			{
				if (value > current || std::isnan(current))
					current = value;
			}
			else if (value > current)
				current = value;
		}

		/// Per target voxel on each axis the source voxels its cell overlaps, and the source range
		/// [first, last] that all of them need per axis (empty on an axis where last < first).
		struct AxisRanges
		{
			std::array<std::vector<Range>, 3> ranges;
			Eigen::Vector3i first, last;

			AxisRanges(const Eigen::Vector3i& sd, const Eigen::Vector3i& td, const Eigen::Matrix4d& targetToSource)
			{
				for (int a = 0; a < 3; ++a)
				{
					ranges[a].resize(static_cast<std::size_t>(td[a]));
					first[a] = sd[a];
					last[a] = -1;
					const double scale = targetToSource(a, a), shift = targetToSource(a, 3);
					for (int t = 0; t < td[a]; ++t)
					{
						const double s0 = scale * (t - 0.5) + shift, s1 = scale * (t + 0.5) + shift;
						Range& r = ranges[a][static_cast<std::size_t>(t)];
						r = overlapping(std::min(s0, s1), std::max(s0, s1), sd[a]);
						if (!r.isEmpty())
						{
							first[a] = std::min(first[a], r.lo);
							last[a] = std::max(last[a], r.hi);
						}
					}
				}
			}
			bool isEmpty() const { return (last.array() < first.array()).any(); }
		};

		/// Along x: (tx, ny, nz) from the needed rows of the source.
		template <typename T>
		std::vector<T> maxAlongX(const TypedImage<T>& source, const AxisRanges& plan, std::size_t tx)
		{
			const auto c = static_cast<std::size_t>(source.descriptor().channels());
			const T* in = source.pointer();
			const std::size_t ny = static_cast<std::size_t>(plan.last.y() - plan.first.y() + 1);
			const std::size_t nz = static_cast<std::size_t>(plan.last.z() - plan.first.z() + 1);
			std::vector<T> alongX(tx * ny * nz * c);
			const Threading::ThreadTeam team(alongX.size() >= kParallelElements);
#pragma omp parallel for schedule(static) if (alongX.size() >= kParallelElements) num_threads(team.size())
			for (std::int64_t row = 0; row < static_cast<std::int64_t>(ny * nz); ++row)
			{
				const std::size_t y = static_cast<std::size_t>(row) % ny, z = static_cast<std::size_t>(row) / ny;
				const T* src =
				    in + source.descriptor().index(0, static_cast<int>(y) + plan.first.y(), static_cast<int>(z) + plan.first.z()) * c;
				T* dst = alongX.data() + static_cast<std::size_t>(row) * tx * c;
				for (std::size_t t = 0; t < tx; ++t)
				{
					const Range r = plan.ranges[0][t];
					for (std::size_t ch = 0; ch < c; ++ch)
					{
						if (r.isEmpty())
						{
							dst[t * c + ch] = T(0);
							continue;
						}
						T m = src[static_cast<std::size_t>(r.lo) * c + ch];
						for (int i = r.lo + 1; i <= r.hi; ++i)
							keepMax(m, src[static_cast<std::size_t>(i) * c + ch]);
						dst[t * c + ch] = m;
					}
				}
			}
			return alongX;
		}

		/// Along y: (tx, ty, nz) from the rows along x, `rowLength` elements each.
		template <typename T>
		std::vector<T> maxAlongY(const std::vector<T>& alongX, const AxisRanges& plan, std::size_t rowLength, std::size_t ty)
		{
			const std::size_t ny = static_cast<std::size_t>(plan.last.y() - plan.first.y() + 1);
			const std::size_t nz = static_cast<std::size_t>(plan.last.z() - plan.first.z() + 1);
			std::vector<T> alongY(rowLength * ty * nz);
			const Threading::ThreadTeam team(alongY.size() >= kParallelElements);
#pragma omp parallel for schedule(static) if (alongY.size() >= kParallelElements) num_threads(team.size())
			for (std::int64_t task = 0; task < static_cast<std::int64_t>(ty * nz); ++task)
			{
				const std::size_t u = static_cast<std::size_t>(task) % ty, z = static_cast<std::size_t>(task) / ty;
				const Range r = plan.ranges[1][u];
				T* dst = alongY.data() + (z * ty + u) * rowLength;
				if (r.isEmpty())
				{
					std::fill(dst, dst + rowLength, T(0));
					continue;
				}
				const T* src = alongX.data() + z * ny * rowLength;
				std::copy_n(src + static_cast<std::size_t>(r.lo - plan.first.y()) * rowLength, rowLength, dst);
				for (int j = r.lo + 1; j <= r.hi; ++j)
				{
					const T* line = src + static_cast<std::size_t>(j - plan.first.y()) * rowLength;
					for (std::size_t k = 0; k < rowLength; ++k)
						keepMax(dst[k], line[k]);
				}
			}
			return alongY;
		}

		/// Along z: the output, from the rows along y.
		template <typename T>
		void maxAlongZ(const std::vector<T>& alongY, const AxisRanges& plan, std::size_t rowLength, TypedImage<T>& target)
		{
			const Eigen::Vector3i td = target.descriptor().dimensions();
			const auto c = static_cast<std::size_t>(target.descriptor().channels());
			const std::size_t ty = static_cast<std::size_t>(td.y());
			T* out = target.pointer();
			const bool parallel = target.descriptor().size() * c >= kParallelElements;
			const Threading::ThreadTeam team(parallel);
#pragma omp parallel for schedule(static) if (parallel) num_threads(team.size())
			for (std::int64_t task = 0; task < static_cast<std::int64_t>(ty) * td.z(); ++task)
			{
				const std::size_t u = static_cast<std::size_t>(task) % ty, v = static_cast<std::size_t>(task) / ty;
				const Range r = plan.ranges[2][v];
				T* dst = out + (v * ty + u) * rowLength;
				if (r.isEmpty())
				{
					std::fill(dst, dst + rowLength, T(0));
					continue;
				}
				std::copy_n(alongY.data() + (static_cast<std::size_t>(r.lo - plan.first.z()) * ty + u) * rowLength, rowLength, dst);
				for (int k = r.lo + 1; k <= r.hi; ++k)
				{
					const T* line = alongY.data() + (static_cast<std::size_t>(k - plan.first.z()) * ty + u) * rowLength;
					for (std::size_t e = 0; e < rowLength; ++e)
						keepMax(dst[e], line[e]);
				}
			}
		}

		/// Axis by axis: x, then y, then z, each over the source range the target needs.
		template <typename T>
		void resampleSeparable(const TypedImage<T>& source, TypedImage<T>& target, const Eigen::Matrix4d& targetToSource)
		{
			const Eigen::Vector3i td = target.descriptor().dimensions();
			const auto c = static_cast<std::size_t>(source.descriptor().channels());
			const AxisRanges plan(source.descriptor().dimensions(), td, targetToSource);
			if (plan.isEmpty())
			{
				T* out = target.pointer();
				std::fill(out, out + target.descriptor().size() * c, T(0));
				return;
			}
			const std::size_t tx = static_cast<std::size_t>(td.x()), ty = static_cast<std::size_t>(td.y());
			std::vector<T> alongX = maxAlongX(source, plan, tx);
			const std::vector<T> alongY = maxAlongY(alongX, plan, tx * c, ty);
			alongX = std::vector<T>();
			maxAlongZ(alongY, plan, tx * c, target);
		}

		/// Rotated grids: per target voxel, the source voxels overlapping the bounding box of its cell.
		template <typename T>
		void resampleGeneral(const TypedImage<T>& source, TypedImage<T>& target, const Eigen::Matrix4d& targetToSource)
		{
			const ImageDescriptor& sd = source.descriptor();
			const Eigen::Vector3i td = target.descriptor().dimensions();
			const auto c = static_cast<std::size_t>(sd.channels());
			const Eigen::Matrix3d linear = targetToSource.topLeftCorner<3, 3>();
			// Half the extent of a target cell along each source axis.
			const Eigen::Vector3d half = 0.5 * linear.cwiseAbs().rowwise().sum();
			const T* in = source.pointer();
			T* out = target.pointer();
			const bool parallel = target.descriptor().size() >= kParallelElements;
			const Threading::ThreadTeam team(parallel);
#pragma omp parallel for schedule(dynamic, 1) if (parallel) num_threads(team.size())
			for (std::int64_t row = 0; row < static_cast<std::int64_t>(td.y()) * td.z(); ++row)
			{
				const int y = static_cast<int>(row % td.y()), z = static_cast<int>(row / td.y());
				for (int x = 0; x < td.x(); ++x)
				{
					const Eigen::Vector3d centre = (targetToSource * Eigen::Vector4d(x, y, z, 1.0)).head<3>();
					Range r[3];
					bool outside = false;
					for (int a = 0; a < 3; ++a)
					{
						r[a] = overlapping(centre[a] - half[a], centre[a] + half[a], sd.dimensions()[a]);
						outside = outside || r[a].isEmpty();
					}
					T* dst = out + target.descriptor().index(x, y, z) * c;
					for (std::size_t ch = 0; ch < c; ++ch)
					{
						if (outside)
						{
							dst[ch] = T(0);
							continue;
						}
						T m = in[sd.index(r[0].lo, r[1].lo, r[2].lo) * c + ch];
						for (int k = r[2].lo; k <= r[2].hi; ++k)
							for (int j = r[1].lo; j <= r[1].hi; ++j)
								for (int i = r[0].lo; i <= r[0].hi; ++i)
									keepMax(m, in[sd.index(i, j, k) * c + ch]);
						dst[ch] = m;
					}
				}
			}
		}

		bool isAxisAligned(const Eigen::Matrix4d& m)
		{
			for (int r = 0; r < 3; ++r)
			{
				const double scale = m.block<1, 3>(r, 0).cwiseAbs().maxCoeff();
				if (!(scale > 0.0))
					return false;
				for (int c = 0; c < 3; ++c)
					if (c != r && std::abs(m(r, c)) > 1e-9 * scale)
						return false;
			}
			return true;
		}
	}

	void resampleMaximum(const MemImage& source, MemImage& target, const Eigen::Matrix4d& targetToSource)
	{
		// One team for the steps of the call.
		const Threading::ThreadTeam team(target.descriptor().size() * static_cast<std::size_t>(target.descriptor().channels()) >=
		                                 kParallelElements);
		ImageProcessing::visit(source,
		                       [&](const auto& typedSource)
		                       {
			                       using Typed = std::decay_t<decltype(typedSource)>;
			                       auto& typedTarget = static_cast<Typed&>(target);
			                       if (isAxisAligned(targetToSource))
				                       resampleSeparable(typedSource, typedTarget, targetToSource);
			                       else
				                       resampleGeneral(typedSource, typedTarget, targetToSource);
		                       });
	}
}
