#pragma once

#include "host/lib/ImageMath/ExprBaseTpl.h"
#include "host/lib/ImageMath/ExprInterface.h"
#include "host/lib/TypedImage.h"
#include "src/imaging/ScalarGl.h"

namespace Quorvale::ImageMath
{
	/// A constant of type T, the same at every pixel and in every channel.
	template <typename T>
	class Scalar : public ExprBaseTpl<Scalar<T>>, public ExprInterface, public internal::ScalarGl<Scalar<T>>
	{
	public:
		explicit Scalar(T value)
		    : m_value(value)
		{
		}

		/// One pixel of element type T with one channel.
		ImageDescriptor imgDesc() const override { return ImageDescriptor(PixelTypeOf<T>::value, Eigen::Vector3i(1, 1, 1), 1); }
		/// 0: a constant spans no image.
		int imageCount() const override { return 0; }
		/// `GpuIfResident`: a constant never holds an evaluation back.
		int deviceSupport() const override { return GpuIfResident; }

		const T& value() const { return m_value; }

	private:
		T m_value;
	};
}
