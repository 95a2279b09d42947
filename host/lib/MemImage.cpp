#include "host/lib/MemImage.h"

#include "host/core/MemoryLimit.h"
#include "host/core/ThreadTeam.h"
#include "host/lib/TypedImage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace Quorvale
{
	namespace
	{
		const ImageDescriptor& requireValid(const ImageDescriptor& descriptor)
		{
			if (!descriptor.isValid())
			{
				const Eigen::Vector3i& d = descriptor.dimensions();
				throw std::invalid_argument("Invalid image descriptor: pixel type " + std::to_string(descriptor.pixelType()) +
				                            ", dimensions " + std::to_string(d.x()) + "x" + std::to_string(d.y()) + "x" +
				                            std::to_string(d.z()) + ", " + std::to_string(descriptor.channels()) + " channel(s)");
			}
			// Computed in floating point so that absurd sizes cannot wrap around.
			const double bytes = descriptor.dimensions().cast<double>().prod() * descriptor.channels() * descriptor.typeSize();
			if (bytes > static_cast<double>(std::numeric_limits<std::ptrdiff_t>::max()) / 2)
				throw std::length_error("Image of " + std::to_string(bytes) + " bytes is too large");
			const Eigen::Vector3i& d = descriptor.dimensions();
			MemoryLimit::require(bytes, "An image of " + std::to_string(d.x()) + " x " + std::to_string(d.y()) + " x " +
			                                std::to_string(d.z()) + " voxels");
			return descriptor;
		}

		template <typename T>
		double toDouble(T value)
		{
			return static_cast<double>(value);
		}

		// Plain char is the signed 8-bit type whatever the platform's char signedness.
		template <>
		double toDouble<char>(char value)
		{
			return static_cast<double>(static_cast<signed char>(value));
		}

		// Per axis: the two neighbouring voxel indices and the weight of the upper one, after the
		// half-voxel clamp. False when the coordinate lies further outside.
		bool axisSamples(double p, int n, bool interpolate, int& i0, int& i1, double& weight)
		{
			if (!(p >= -0.5 && p <= n - 0.5))
				return false;
			const double clamped = std::clamp(p, 0.0, static_cast<double>(n - 1));
			if (!interpolate)
			{
				i0 = i1 = std::min(static_cast<int>(std::floor(clamped + 0.5)), n - 1);
				weight = 0.0;
				return true;
			}
			i0 = std::min(static_cast<int>(std::floor(clamped)), n - 1);
			i1 = std::min(i0 + 1, n - 1);
			weight = clamped - i0;
			return true;
		}

		template <typename T>
		double sample(const T* elements, const ImageDescriptor& d, const Eigen::Vector3d& pixel, int channel, bool interpolate,
		              double fallback)
		{
			int lo[3], hi[3];
			double w[3];
			for (int a = 0; a < 3; ++a)
				if (!axisSamples(pixel[a], d.dimensions()[a], interpolate, lo[a], hi[a], w[a]))
					return fallback;
			auto at = [&](int x, int y, int z) { return toDouble(elements[d.elementIndex(x, y, z, channel)]); };
			if (!interpolate)
				return d.storageToOriginal(at(lo[0], lo[1], lo[2]));
			double value = 0.0;
			for (int corner = 0; corner < 8; ++corner)
			{
				const bool ux = corner & 1, uy = corner & 2, uz = corner & 4;
				const double weight = (ux ? w[0] : 1.0 - w[0]) * (uy ? w[1] : 1.0 - w[1]) * (uz ? w[2] : 1.0 - w[2]);
				if (weight != 0.0)
					value += weight * at(ux ? hi[0] : lo[0], uy ? hi[1] : lo[1], uz ? hi[2] : lo[2]);
			}
			return d.storageToOriginal(value);
		}
	}

	namespace
	{
		constexpr std::size_t kChunk = std::size_t(1) << 20;

		/// Zero-fills or copies `size` bytes in chunks over all threads (serially when small).
		void fillBytes(unsigned char* out, const unsigned char* in, std::size_t size)
		{
			const auto chunks = static_cast<std::int64_t>((size + kChunk - 1) / kChunk);
			const Threading::ThreadTeam team(chunks > 4);
#pragma omp parallel for schedule(static) if (chunks > 4) num_threads(team.size())
			for (std::int64_t i = 0; i < chunks; ++i)
			{
				const std::size_t begin = static_cast<std::size_t>(i) * kChunk;
				const std::size_t count = std::min(kChunk, size - begin);
				if (in)
					std::memcpy(out + begin, in + begin, count);
				else
					std::memset(out + begin, 0, count);
			}
		}
	}

	MemImage::MemImage(ConstructionKey, const ImageDescriptor& descriptor)
	    : m_descriptor(requireValid(descriptor))
	    , m_size(descriptor.byteSize())
	    , m_bytes(new unsigned char[descriptor.byteSize()])
	{
		fillBytes(m_bytes.get(), nullptr, m_size);
	}

	MemImage::MemImage(ConstructionKey, const MemImage& other)
	    : m_descriptor(requireValid(other.m_descriptor))
	    , m_size(other.m_size)
	    , m_bytes(new unsigned char[other.m_size])
	{
		fillBytes(m_bytes.get(), other.m_bytes.get(), m_size);
	}

	MemImage::~MemImage() = default;

	std::unique_ptr<MemImage> MemImage::create(const ImageDescriptor& descriptor)
	{
		switch (descriptor.pixelType())
		{
			case ImageDescriptor::Char: return TypedImage<char>::create(descriptor);
			case ImageDescriptor::UnsignedChar: return TypedImage<unsigned char>::create(descriptor);
			case ImageDescriptor::Short: return TypedImage<short>::create(descriptor);
			case ImageDescriptor::UnsignedShort: return TypedImage<unsigned short>::create(descriptor);
			case ImageDescriptor::Int: return TypedImage<int>::create(descriptor);
			case ImageDescriptor::UnsignedInt: return TypedImage<unsigned int>::create(descriptor);
			case ImageDescriptor::Float:
			case ImageDescriptor::HalfFloat: return TypedImage<float>::create(descriptor);
			case ImageDescriptor::Double: return TypedImage<double>::create(descriptor);
			default: return std::make_unique<MemImage>(ConstructionKey{}, descriptor);
		}
	}

	void MemImage::setSpacing(const Eigen::Vector3d& spacing, bool isMetric)
	{
		if (!spacing.allFinite() || (spacing.array() <= 0.0).any())
			throw std::invalid_argument("Image spacing must be positive and finite");
		m_descriptor.setSpacing(spacing, isMetric);
	}

	void MemImage::setStorageMapping(double slope, double intercept) { m_descriptor.setStorageMapping(slope, intercept); }

	double MemImage::valueAt(const Eigen::Vector3d& pixel, int channel, bool interpolate, double fallback) const
	{
		const ImageDescriptor& d = m_descriptor;
		if (channel < 0 || channel >= d.channels())
			throw std::out_of_range("Channel " + std::to_string(channel) + " of an image with " + std::to_string(d.channels()) +
			                        " channel(s)");
		const void* p = data();
		switch (d.pixelType())
		{
			case ImageDescriptor::Char: return sample(static_cast<const char*>(p), d, pixel, channel, interpolate, fallback);
			case ImageDescriptor::UnsignedChar:
				return sample(static_cast<const unsigned char*>(p), d, pixel, channel, interpolate, fallback);
			case ImageDescriptor::Short: return sample(static_cast<const short*>(p), d, pixel, channel, interpolate, fallback);
			case ImageDescriptor::UnsignedShort:
				return sample(static_cast<const unsigned short*>(p), d, pixel, channel, interpolate, fallback);
			case ImageDescriptor::Int: return sample(static_cast<const int*>(p), d, pixel, channel, interpolate, fallback);
			case ImageDescriptor::UnsignedInt: return sample(static_cast<const unsigned int*>(p), d, pixel, channel, interpolate, fallback);
			case ImageDescriptor::Float:
			case ImageDescriptor::HalfFloat: return sample(static_cast<const float*>(p), d, pixel, channel, interpolate, fallback);
			case ImageDescriptor::Double: return sample(static_cast<const double*>(p), d, pixel, channel, interpolate, fallback);
			default: throw std::logic_error("Image of untyped pixel type " + std::to_string(d.pixelType()) + " has no numeric values");
		}
	}

	std::optional<MemImage::ValueRange> MemImage::valueRange() const
	{
		std::optional<ValueRange> range = storageRange();
		if (!range)
			return std::nullopt;
		const double a = m_descriptor.storageToOriginal(range->low);
		const double b = m_descriptor.storageToOriginal(range->high);
		// A negative slope turns the range around.
		return ValueRange{std::min(a, b), std::max(a, b)};
	}

	std::unique_ptr<MemImage> MemImage::cloneImpl() const { return std::make_unique<MemImage>(ConstructionKey{}, *this); }
}
