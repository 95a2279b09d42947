#pragma once

#include "host/lib/ImageMath/ExprInterface.h"

#include <array>
#include <cstdint>

namespace Quorvale::ImageMath::internal
{
	/// Evaluation-side state shared by the array operands (the leaves that read or write an
	/// image): how values are read and where the array may be evaluated.
	class ArrayBase : public ExprInterface
	{
	public:
		/// Four components passed through unchanged to the GL side.
		using Extra = std::array<std::uint32_t, 4>;

		/// The array's device strategy.
		int deviceSupport() const override { return m_deviceStrategy; }

		/// True: values are used as stored. False: they pass through the descriptor's storage
		/// mapping (`storageToOriginal` when read, `originalToStorage` when written).
		bool rawValues() const { return m_rawValues; }
		const Extra& extra() const { return m_extra; }
		/// A `DeviceStrategy` value.
		int deviceStrategy() const { return m_deviceStrategy; }
		void setDeviceStrategy(int strategy) { m_deviceStrategy = strategy; }

		/// The strategy of an array over an image with this layout: `GpuIfResident`, but `CpuOnly`
		/// for double, int and unsigned int elements and for more than four channels, which the
		/// GPU side cannot sample.
		static int defaultDeviceStrategy(const ImageDescriptor& descriptor);

	protected:
		ArrayBase(bool rawValues, const Extra& extra)
		    : m_rawValues(rawValues)
		    , m_extra(extra)
		{
		}

	private:
		bool m_rawValues;
		Extra m_extra;
		int m_deviceStrategy = CpuOnly;
	};
}
