#include "host/lib/DistanceTransform.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

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
			std::vector<int> position;   // apex positions of the parabolas of the envelope
			std::vector<double> value;   // their heights
			std::vector<double> boundary; // where each parabola starts to be the lowest
			std::vector<double> line;
		};

		/// The lower envelope of the parabolas f(q) + w (i - q)^2 on one run of non-zero entries
		/// [start, end) of the line `f`, bounded by the sites at start - 1 and end when present
		/// (entries equal to 0 inside the line, or the outside of the line when `outsideIsSite`).
		/// Parabolas beyond such a site can never be lowest within the run, so runs are independent.
		void envelopeRun(double* f, int n, int start, int end, double w, bool outsideIsSite, Scratch& s)
		{
			int k = -1;
			auto add = [&](int q, double fq)
			{
				if (fq == kInfinity)
					return;
				const double wq = fq + w * q * static_cast<double>(q);
				while (k >= 0)
				{
					const int v = s.position[k];
					const double from = (wq - (s.value[k] + w * v * static_cast<double>(v))) / (2.0 * w * (q - v));
					if (from > s.boundary[k])
					{
						s.boundary[k + 1] = from;
						break;
					}
					--k;
				}
				++k;
				s.position[k] = q;
				s.value[k] = fq;
				if (k == 0)
					s.boundary[0] = -kInfinity;
			};
			if (start > 0 || outsideIsSite)
				add(start - 1, 0.0);
			for (int q = start; q < end; ++q)
				add(q, f[q]);
			if (end < n || outsideIsSite)
				add(end, 0.0);
			if (k < 0)
				return; // no site reaches the run: it stays +infinity
			s.boundary[k + 1] = kInfinity;
			int j = 0;
			for (int i = start; i < end; ++i)
			{
				while (s.boundary[j + 1] < i)
					++j;
				const double d = i - s.position[j];
				f[i] = s.value[j] + w * d * d;
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

		/// One pass along x: the lines are contiguous.
		void passX(float* field, const Eigen::Vector3i& dims, double w, bool outsideIsSite)
		{
			const int n = dims.x();
			const std::int64_t lines = static_cast<std::int64_t>(dims.y()) * dims.z();
#pragma omp parallel if (lines * n >= kParallelVoxels)
			{
				Scratch s(n);
#pragma omp for schedule(static)
				for (std::int64_t l = 0; l < lines; ++l)
				{
					float* row = field + static_cast<std::size_t>(l) * n;
					if (std::all_of(row, row + n, [](float v) { return v == 0.0f; }))
						continue;
					std::copy(row, row + n, s.line.begin());
					envelopeLine(s.line.data(), n, w, outsideIsSite, s);
					std::copy(s.line.begin(), s.line.begin() + n, row);
				}
			}
		}

		/// One pass along y (axis 1) or z (axis 2): lines of `n` entries `stride` apart, gathered
		/// in blocks of neighbouring x columns.
		void passStrided(float* field, const Eigen::Vector3i& dims, int axis, double w, bool outsideIsSite)
		{
			const int nx = dims.x();
			const int n = dims[axis];
			const std::size_t stride = axis == 1 ? static_cast<std::size_t>(nx) : static_cast<std::size_t>(nx) * dims.y();
			const int others = axis == 1 ? dims.z() : dims.y();
			const std::size_t otherStride = axis == 1 ? static_cast<std::size_t>(nx) * dims.y() : static_cast<std::size_t>(nx);
			const int blocks = (nx + kBlock - 1) / kBlock;
			const std::int64_t tasks = static_cast<std::int64_t>(others) * blocks;
#pragma omp parallel if (static_cast<std::int64_t>(others) * nx * n >= kParallelVoxels)
			{
				Scratch s(n);
#pragma omp for schedule(static)
				for (std::int64_t t = 0; t < tasks; ++t)
				{
					const int x0 = static_cast<int>(t % blocks) * kBlock;
					const int width = std::min(kBlock, nx - x0);
					float* base = field + static_cast<std::size_t>(t / blocks) * otherStride + static_cast<std::size_t>(x0);
					bool allZero = true;
					for (int i = 0; i < n; ++i)
					{
						const float* src = base + static_cast<std::size_t>(i) * stride;
						for (int b = 0; b < width; ++b)
						{
							s.line[static_cast<std::size_t>(b) * n + i] = src[b];
							allZero = allZero && src[b] == 0.0f;
						}
					}
					if (allZero)
						continue;
					for (int b = 0; b < width; ++b)
						envelopeLine(s.line.data() + static_cast<std::size_t>(b) * n, n, w, outsideIsSite, s);
					for (int i = 0; i < n; ++i)
					{
						float* dst = base + static_cast<std::size_t>(i) * stride;
						for (int b = 0; b < width; ++b)
							dst[b] = static_cast<float>(s.line[static_cast<std::size_t>(b) * n + i]);
					}
				}
			}
		}
	}

	void computeSquared(float* field, const Eigen::Vector3i& dimensions, const Eigen::Vector3d& spacing, bool outsideIsSite)
	{
		if ((dimensions.array() <= 0).any())
			throw std::invalid_argument("A distance transform needs positive grid dimensions");
		if (!spacing.allFinite() || (spacing.array() <= 0.0).any())
			throw std::invalid_argument("A distance transform needs a positive, finite spacing");
		for (int axis = 0; axis < 3; ++axis)
		{
			if (dimensions[axis] == 1)
				continue;
			const double w = spacing[axis] * spacing[axis];
			if (axis == 0)
				passX(field, dimensions, w, outsideIsSite);
			else
				passStrided(field, dimensions, axis, w, outsideIsSite);
		}
	}

	std::unique_ptr<TypedImage<float>> computeChamfer(const TypedImage<unsigned char>& image, bool inside, bool useSpacing,
	                                                  int channel)
	{
		const ImageDescriptor& d = image.descriptor();
		if (channel < 0 || channel >= d.channels())
			throw std::out_of_range("Channel " + std::to_string(channel) + " of an image with " + std::to_string(d.channels()) +
			                        " channel(s)");
		auto result = TypedImage<float>::create(
		    ImageDescriptor(ImageDescriptor::Float, d.dimensions(), 1, d.spacing(), d.isMetric()));
		const auto voxels = static_cast<std::int64_t>(d.size());
		const auto channels = static_cast<std::int64_t>(d.channels());
		const unsigned char* in = image.pointer();
		float* field = result->pointer();
		const float infinity = std::numeric_limits<float>::infinity();
		// Sites are the voxels the distance is measured to.
#pragma omp parallel for schedule(static) if (voxels >= kParallelVoxels)
		for (std::int64_t i = 0; i < voxels; ++i)
			field[i] = ((in[i * channels + channel] != 0) == inside) ? infinity : 0.0f;
		computeSquared(field, d.dimensions(), useSpacing ? d.spacing() : Eigen::Vector3d::Ones(), inside);
#pragma omp parallel for schedule(static) if (voxels >= kParallelVoxels)
		for (std::int64_t i = 0; i < voxels; ++i)
			field[i] = std::sqrt(field[i]);
		return result;
	}
}
