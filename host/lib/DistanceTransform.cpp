#include "host/lib/DistanceTransform.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/core/ThreadTeam.h"

namespace Quorvale::DistanceTransform
{
	namespace
	{
		constexpr double kInfinity = std::numeric_limits<double>::infinity();
		/// Columns gathered together on the strided axes, so that every cache line read is used whole.
		constexpr int kBlock = 16;
		/// Below this many voxels a pass runs on the calling thread: starting threads would cost more.
		constexpr std::int64_t kParallelVoxels = 1 << 15;

		/// Working memory of one thread for lines of up to `n` entries.
		struct Scratch
		{
			explicit Scratch(int n)
			    : position(static_cast<std::size_t>(n) + 2)
			    , value(static_cast<std::size_t>(n) + 2)
			    , boundary(static_cast<std::size_t>(n) + 3)
			    , line(static_cast<std::size_t>(n) * kBlock)
			{
			}
			std::vector<int> position;    // apex positions of the parabolas of the envelope
			std::vector<double> value;    // f(q) + w q^2 of each
			std::vector<double> boundary; // where each parabola starts to be the lowest
			std::vector<double> line;
		};

		/// The lower envelope of the parabolas f(q) + w (i - q)^2 on one run of non-zero entries
		/// [start, end) of the line `f`, bounded by the sites at start - 1 and end when present
		/// (entries equal to 0 inside the line, or the outside of the line when `outsideIsSite`).
		/// Parabolas beyond such a site can never be lowest within the run, so runs are independent.
		void envelopeRun(double* f, int n, int start, int end, double w, bool outsideIsSite, Scratch& s)
		{
			const bool left = start > 0 || outsideIsSite, right = end < n || outsideIsSite;
			if (std::all_of(f + start, f + end, [](double v) { return v == kInfinity; }))
			{
				// Only the bounding sites: the nearer one wins.
				for (int i = start; i < end; ++i)
				{
					const double a = left ? i - (start - 1) : kInfinity, b = right ? end - i : kInfinity;
					f[i] = std::min(a, b) == kInfinity ? kInfinity : w * std::min(a, b) * std::min(a, b);
				}
				return;
			}
			// The envelope keeps each parabola as its apex position and height f(q) + w q^2 at 0.
			const double half = 0.5 / w;
			int k = -1;
			auto add = [&](int q, double fq)
			{
				if (fq == kInfinity)
					return;
				const double hq = fq + w * q * static_cast<double>(q);
				while (k >= 0)
				{
					const double from = (hq - s.value[k]) * half / (q - s.position[k]);
					if (from > s.boundary[k])
					{
						s.boundary[k + 1] = from;
						break;
					}
					--k;
				}
				++k;
				s.position[k] = q;
				s.value[k] = hq;
				if (k == 0)
					s.boundary[0] = -kInfinity;
			};
			if (left)
				add(start - 1, 0.0);
			for (int q = start; q < end; ++q)
				add(q, f[q]);
			if (right)
				add(end, 0.0);
			s.boundary[k + 1] = kInfinity;
			int j = 0;
			for (int i = start; i < end; ++i)
			{
				while (s.boundary[j + 1] < i)
					++j;
				const double d = i - s.position[j];
				const double v = s.position[j];
				f[i] = s.value[j] - w * v * v + w * d * d;
			}
		}

		void envelopeLine(double* f, int n, double w, bool outsideIsSite, Scratch& s)
		{
			for (int i = 0; i < n;)
			{
				if (f[i] == 0.0)
				{
					++i;
					continue;
				}
				const int start = i;
				while (i < n && f[i] != 0.0)
					++i;
				envelopeRun(f, n, start, i, w, outsideIsSite, s);
			}
		}

		/// What a block of kBlock neighbouring entries of one x row holds, so that the strided
		/// passes can skip the columns a pass would not change without reading them.
		enum BlockFlags : unsigned char
		{
			HasNonZero = 1, ///< something to lower
			HasFinite = 2   ///< a site or a finite distance, from which the others can be reached
		};

		/// The grid, its spacing and the flags of every block of every x row.
		struct Grid
		{
			Grid(float* field, const Eigen::Vector3i& dims, const Eigen::Vector3d& spacing, bool outsideIsSite)
			    : field(field)
			    , dims(dims)
			    , spacing(spacing)
			    , outsideIsSite(outsideIsSite)
			{
			}

			float* field;
			Eigen::Vector3i dims;
			Eigen::Vector3d spacing;
			bool outsideIsSite;
			/// The threads of the call's team.
			int threads = 1;
			int blocks = 0;
			/// Set by the caller when it has filled the flags already.
			bool flagsReady = false;
			std::vector<unsigned char> flags;

			unsigned char& flag(std::size_t row, int block)
			{
				return flags[row * static_cast<std::size_t>(blocks) + static_cast<std::size_t>(block)];
			}
		};

		/// Along x (skipped for an axis of one voxel), recording the block flags of every row.
		void passX(Grid& g)
		{
			const int n = g.dims.x();
			const double w = g.spacing.x() * g.spacing.x();
			const bool transform = n > 1;
			const std::int64_t lines = static_cast<std::int64_t>(g.dims.y()) * g.dims.z();
#pragma omp parallel if (lines * n >= kParallelVoxels) num_threads(g.threads)
			{
				Scratch s(n);
#pragma omp for schedule(static)
				for (std::int64_t l = 0; l < lines; ++l)
				{
					float* row = g.field + static_cast<std::size_t>(l) * n;
					unsigned char* flags = &g.flag(static_cast<std::size_t>(l), 0);
					const bool allZero = g.flagsReady
					                         ? std::none_of(flags, flags + g.blocks, [](unsigned char f) { return (f & HasNonZero) != 0; })
					                         : std::all_of(row, row + n, [](float v) { return v == 0.0f; });
					if (allZero)
					{
						std::fill_n(flags, g.blocks, HasFinite);
						continue;
					}
					if (transform)
					{
						std::copy(row, row + n, s.line.begin());
						envelopeLine(s.line.data(), n, w, g.outsideIsSite, s);
						std::copy(s.line.begin(), s.line.begin() + n, row);
					}
					for (int b = 0; b < g.blocks; ++b)
					{
						unsigned char flag = 0;
						for (int x = b * kBlock; x < std::min(n, (b + 1) * kBlock); ++x)
							flag |= (row[x] != 0.0f ? HasNonZero : 0) | (row[x] != std::numeric_limits<float>::infinity() ? HasFinite : 0);
						g.flag(static_cast<std::size_t>(l), b) = flag;
					}
				}
			}
		}

		/// The lines of one strided pass: along y (axis 1) or z (axis 2), n entries `stride` apart,
		/// one set of lines per `other` (z along y, y along z).
		struct StridedLines
		{
			StridedLines(const Grid& g, int axis)
			    : axis(axis)
			    , nx(g.dims.x())
			    , ny(g.dims.y())
			    , n(g.dims[axis])
			    , w(g.spacing[axis] * g.spacing[axis])
			    , stride(axis == 1 ? static_cast<std::size_t>(nx) : static_cast<std::size_t>(nx) * ny)
			    , others(axis == 1 ? g.dims.z() : ny)
			    , otherStride(axis == 1 ? static_cast<std::size_t>(nx) * ny : static_cast<std::size_t>(nx))
			{
			}

			/// The x row that holds entry i of the lines of task `other`.
			std::size_t rowOf(int other, int i) const
			{
				return axis == 1 ? static_cast<std::size_t>(i) + static_cast<std::size_t>(ny) * other
				                 : static_cast<std::size_t>(other) + static_cast<std::size_t>(ny) * i;
			}

			int axis, nx, ny, n;
			double w;
			std::size_t stride;
			int others;
			std::size_t otherStride;
		};

		/// The lines of one block of neighbouring x columns of one `other`. A block whose entries are
		/// all 0, or all +infinity without sites outside, stays as it is and is not read.
		void passBlock(Grid& g, const StridedLines& lines, int other, int block, Scratch& s)
		{
			const int n = lines.n;
			unsigned char seen = 0;
			for (int i = 0; i < n; ++i)
				seen |= g.flag(lines.rowOf(other, i), block);
			const bool reachable = (seen & HasFinite) != 0 || g.outsideIsSite;
			if (!(seen & HasNonZero) || !reachable)
				return;
			// Only rows with non-zero entries can change, and the zero rows next to them
			// bound their runs; rows without non-zero entries are not read.
			int first = n, last = -1;
			for (int i = 0; i < n; ++i)
				if (g.flag(lines.rowOf(other, i), block) & HasNonZero)
				{
					first = std::min(first, i);
					last = i;
				}
			const int lo = std::max(first - 1, 0), hi = std::min(last + 1, n - 1), length = hi - lo + 1;
			const int x0 = block * kBlock;
			const int width = std::min(kBlock, lines.nx - x0);
			float* base = g.field + static_cast<std::size_t>(other) * lines.otherStride + static_cast<std::size_t>(x0);
			for (int i = lo; i <= hi; ++i)
			{
				const bool read = (g.flag(lines.rowOf(other, i), block) & HasNonZero) != 0;
				const float* src = base + static_cast<std::size_t>(i) * lines.stride;
				for (int b = 0; b < width; ++b)
					s.line[static_cast<std::size_t>(b) * n + static_cast<std::size_t>(i - lo)] = read ? src[b] : 0.0f;
			}
			// A run cannot reach the ends of the part unless they are the ends of the line.
			for (int b = 0; b < width; ++b)
				envelopeLine(s.line.data() + static_cast<std::size_t>(b) * n, length, lines.w, g.outsideIsSite, s);
			for (int i = first; i <= last; ++i)
			{
				unsigned char& flag = g.flag(lines.rowOf(other, i), block);
				if (!(flag & HasNonZero))
					continue;
				float* dst = base + static_cast<std::size_t>(i) * lines.stride;
				for (int b = 0; b < width; ++b)
					dst[b] = static_cast<float>(s.line[static_cast<std::size_t>(b) * n + static_cast<std::size_t>(i - lo)]);
				// Every entry of a line that reaches a site is finite now.
				flag |= HasFinite;
			}
		}

		/// Along y (axis 1) or z (axis 2): lines of n entries `stride` apart, gathered in blocks of
		/// neighbouring x columns.
		void passStrided(Grid& g, int axis)
		{
			const StridedLines lines(g, axis);
			const std::int64_t tasks = static_cast<std::int64_t>(lines.others) * g.blocks;
			const bool parallel = tasks * kBlock * lines.n >= kParallelVoxels;
#pragma omp parallel if (parallel) num_threads(g.threads)
			{
				Scratch s(lines.n);
#pragma omp for schedule(dynamic, 16)
				for (std::int64_t t = 0; t < tasks; ++t)
					passBlock(g, lines, static_cast<int>(t / g.blocks), static_cast<int>(t % g.blocks), s);
			}
		}

		/// The three passes; the flags stay for the caller.
		void transform(Grid& g)
		{
			if ((g.dims.array() <= 0).any())
				throw std::invalid_argument("A distance transform needs positive grid dimensions");
			if (!g.spacing.allFinite() || (g.spacing.array() <= 0.0).any())
				throw std::invalid_argument("A distance transform needs a positive, finite spacing");
			g.blocks = (g.dims.x() + kBlock - 1) / kBlock;
			if (!g.flagsReady)
				g.flags.assign(
				    static_cast<std::size_t>(g.dims.y()) * static_cast<std::size_t>(g.dims.z()) * static_cast<std::size_t>(g.blocks), 0);
			passX(g);
			for (int axis = 1; axis < 3; ++axis)
				if (g.dims[axis] > 1)
					passStrided(g, axis);
		}
	}

	void computeSquared(float* field, const Eigen::Vector3i& dimensions, const Eigen::Vector3d& spacing, bool outsideIsSite)
	{
		Grid g{field, dimensions, spacing, outsideIsSite};
		const Threading::ThreadTeam team(dimensions.cast<std::int64_t>().prod() >= kParallelVoxels);
		g.threads = team.size();
		transform(g);
	}

	std::unique_ptr<TypedImage<float>> computeChamfer(const TypedImage<unsigned char>& image, bool inside, bool useSpacing, int channel)
	{
		const ImageDescriptor& d = image.descriptor();
		if (channel < 0 || channel >= d.channels())
			throw std::out_of_range("Channel " + std::to_string(channel) + " of an image with " + std::to_string(d.channels()) +
			                        " channel(s)");
		const int nx = d.dimensions().x();
		const std::int64_t rows = static_cast<std::int64_t>(d.dimensions().y()) * d.dimensions().z();
		const std::int64_t voxels = rows * nx;
		// The team also fills the new image.
		const Threading::ThreadTeam team(voxels >= kParallelVoxels);
		auto result = TypedImage<float>::create(ImageDescriptor(ImageDescriptor::Float, d.dimensions(), 1, d.spacing(), d.isMetric()));
		const auto channels = static_cast<std::size_t>(d.channels());
		const unsigned char* in = image.pointer();
		float* field = result->pointer();
		const float infinity = std::numeric_limits<float>::infinity();
		Grid g{field, d.dimensions(), useSpacing ? d.spacing() : Eigen::Vector3d::Ones(), inside};
		g.threads = team.size();
		g.blocks = (nx + kBlock - 1) / kBlock;
		g.flags.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(g.blocks));
		g.flagsReady = true;
		// Sites (0) are the voxels the distance is measured to, the others start at +infinity. The
		// new image is zero already, so only the others are written, and the block flags come from
		// the mask instead of the floats.
#pragma omp parallel for schedule(static) if (voxels >= kParallelVoxels) num_threads(g.threads)
		for (std::int64_t row = 0; row < rows; ++row)
		{
			const unsigned char* mask = in + static_cast<std::size_t>(row) * nx * channels + static_cast<std::size_t>(channel);
			float* values = field + static_cast<std::size_t>(row) * nx;
			for (int b = 0; b < g.blocks; ++b)
			{
				unsigned char flag = 0;
				for (int x = b * kBlock; x < std::min(nx, (b + 1) * kBlock); ++x)
				{
					const bool far = (mask[static_cast<std::size_t>(x) * channels] != 0) == inside;
					if (far)
						values[x] = infinity;
					flag |= far ? HasNonZero : HasFinite;
				}
				g.flag(static_cast<std::size_t>(row), b) = flag;
			}
		}
		transform(g);
#pragma omp parallel for schedule(static) if (voxels >= kParallelVoxels) num_threads(g.threads)
		for (std::int64_t row = 0; row < rows; ++row)
		{
			const unsigned char* flags = &g.flag(static_cast<std::size_t>(row), 0);
			if (std::none_of(flags, flags + g.blocks, [](unsigned char f) { return (f & HasNonZero) != 0; }))
				continue;
			float* values = field + static_cast<std::size_t>(row) * nx;
			for (int x = 0; x < nx; ++x)
				values[x] = std::sqrt(values[x]);
		}
		return result;
	}
}
