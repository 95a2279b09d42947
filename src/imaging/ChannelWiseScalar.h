#pragma once

#include "host/lib/ImageMath/ExprBaseTpl.h"
#include "host/lib/ImageMath/ExprInterface.h"
#include "host/lib/TypedImage.h"
#include "src/imaging/ChannelWiseScalarGl.h"

#include <Eigen/Core>

namespace Quorvale::ImageMath
{
	/// A constant with one value per channel, the same at every pixel.
	template <typename T, int N>
	class ChannelWiseScalar : public ExprBaseTpl<ChannelWiseScalar<T, N>>,
	                          public ExprInterface,
	                          public internal::ChannelWiseScalarGl<ChannelWiseScalar<T, N>>
	{
	public:
		using Scalar = T;
		static constexpr int channelCount = N;
		using Vector = Eigen::Matrix<T, N, 1>;

		explicit ChannelWiseScalar(const Vector& value)
		    : m_value(value)
		{
		}

		/// One pixel of element type T with N channels.
		ImageDescriptor imgDesc() const override { return ImageDescriptor(PixelTypeOf<T>::value, Eigen::Vector3i(1, 1, 1), N); }
		/// 0: a constant spans no image.
		int imageCount() const override { return 0; }
		/// `GpuIfResident`: a constant never holds an evaluation back.
		int deviceSupport() const override { return GpuIfResident; }

		const Vector& value() const { return m_value; }
		/// The value of channel c (no range check).
		T operator[](int c) const { return m_value[c]; }

	private:
		Vector m_value;
	};
}
