#include "host/lib/ImageDescriptor.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Quorvale
{
	ImageDescriptor::ImageDescriptor(int pixelType, const Eigen::Vector3i& dimensions, int channels, const Eigen::Vector3d& spacing,
	                                 bool isMetric)
	    : m_pixelType(pixelType)
	    , m_dimensions(dimensions)
	    , m_channels(channels)
	    , m_spacing(spacing)
	    , m_isMetric(isMetric)
	{
	}

	bool ImageDescriptor::isKnownPixelType(int pixelType) { return pixelType >= Char && pixelType <= HalfFloat; }

	int ImageDescriptor::typeSize(int pixelType)
	{
		switch (pixelType)
		{
			case Char:
			case UnsignedChar: return 1;
			case Short:
			case UnsignedShort:
			case Bytes2: return 2;
			case Bytes3: return 3;
			case Int:
			case UnsignedInt:
			case Float:
			case HalfFloat:
			case Bytes4: return 4;
			case Double: return 8;
			default: return 0;
		}
	}

	bool ImageDescriptor::isNumericPixelType(int pixelType)
	{
		return isKnownPixelType(pixelType) && pixelType != Bytes2 && pixelType != Bytes3 && pixelType != Bytes4;
	}

	void ImageDescriptor::setDimensions(const Eigen::Vector3i& dimensions, int channels)
	{
		m_dimensions = dimensions;
		if (channels > 0)
			m_channels = channels;
	}

	void ImageDescriptor::setSpacing(const Eigen::Vector3d& spacing, bool isMetric)
	{
		m_spacing = spacing;
		m_isMetric = isMetric;
	}

	std::size_t ImageDescriptor::size() const
	{
		if ((m_dimensions.array() <= 0).any())
			return 0;
		return static_cast<std::size_t>(m_dimensions.x()) * static_cast<std::size_t>(m_dimensions.y()) *
		       static_cast<std::size_t>(m_dimensions.z());
	}

	std::size_t ImageDescriptor::byteSize() const
	{
		if (m_channels <= 0)
			return 0;
		return size() * static_cast<std::size_t>(m_channels) * static_cast<std::size_t>(typeSize());
	}

	Eigen::Vector3i ImageDescriptor::coord(std::size_t index) const
	{
		const auto nx = static_cast<std::size_t>(std::max(m_dimensions.x(), 1));
		const auto ny = static_cast<std::size_t>(std::max(m_dimensions.y(), 1));
		const std::size_t x = index % nx;
		const std::size_t rest = index / nx;
		return {static_cast<int>(x), static_cast<int>(rest % ny), static_cast<int>(rest / ny)};
	}

	bool ImageDescriptor::isInside(int x, int y, int z) const
	{
		return x >= 0 && y >= 0 && z >= 0 && x < m_dimensions.x() && y < m_dimensions.y() && z < m_dimensions.z();
	}

	void ImageDescriptor::setStorageMapping(double slope, double intercept)
	{
		if (!std::isfinite(slope) || slope == 0.0 || !std::isfinite(intercept))
			throw std::invalid_argument("Storage mapping needs a finite, non-zero slope and a finite intercept");
		m_slope = slope;
		m_intercept = intercept;
	}

	Eigen::Matrix4d ImageDescriptor::pixelToImageMatrix() const
	{
		Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
		const Eigen::Vector3d centre = (m_dimensions.cast<double>() - Eigen::Vector3d::Ones()) * 0.5;
		m.topLeftCorner<3, 3>() = m_spacing.asDiagonal();
		m.topRightCorner<3, 1>() = -centre.cwiseProduct(m_spacing);
		return m;
	}

	Eigen::Matrix4d ImageDescriptor::imageToPixelMatrix() const
	{
		Eigen::Matrix4d m = Eigen::Matrix4d::Identity();
		const Eigen::Vector3d centre = (m_dimensions.cast<double>() - Eigen::Vector3d::Ones()) * 0.5;
		m.topLeftCorner<3, 3>() = m_spacing.cwiseInverse().asDiagonal();
		m.topRightCorner<3, 1>() = centre;
		return m;
	}

	bool ImageDescriptor::isValid() const
	{
		return isKnownPixelType(m_pixelType) && (m_dimensions.array() > 0).all() && m_channels > 0 && m_spacing.allFinite() &&
		       (m_spacing.array() > 0.0).all() && std::isfinite(m_slope) && m_slope != 0.0 && std::isfinite(m_intercept);
	}

	bool ImageDescriptor::operator==(const ImageDescriptor& other) const
	{
		return m_pixelType == other.m_pixelType && m_dimensions == other.m_dimensions && m_channels == other.m_channels &&
		       m_spacing == other.m_spacing && m_isMetric == other.m_isMetric && m_slope == other.m_slope &&
		       m_intercept == other.m_intercept;
	}
}
