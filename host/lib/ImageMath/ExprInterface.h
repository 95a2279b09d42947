#pragma once

#include "host/lib/ImageDescriptor.h"

namespace Quorvale::ImageMath
{
	/// Where an expression may be evaluated. The levels are ordered: a composite expression never
	/// offers more than the least of its operands.
	enum DeviceStrategy : int
	{
		/// Only on the CPU.
		CpuOnly = 0,
		/// On the GPU first, on the CPU when the GPU declines.
		GpuFirst = 1,
		/// On the GPU only when the images already have a GL representation.
		GpuIfResident = 2
	};

	/// The evaluation side of an image expression node: what the result looks like and where it
	/// may be computed.
	class ExprInterface
	{
	public:
		virtual ~ExprInterface() = default;
		/// Layout of the result: element type, extents and channel count.
		virtual ImageDescriptor imgDesc() const = 0;
		/// How many images the expression spans (0 for a constant).
		virtual int imageCount() const = 0;
		/// The device level (a `DeviceStrategy` value) the expression offers.
		virtual int deviceSupport() const = 0;

	protected:
		ExprInterface() = default;
		ExprInterface(const ExprInterface&) = default;
		ExprInterface& operator=(const ExprInterface&) = default;
	};
}
