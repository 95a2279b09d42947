#pragma once

#include "host/lib/ImageMath/ChannelSwizzleViewBase.h"
#include "host/lib/ImageMath/ChannelSwizzleViewGl.h"
#include "host/lib/ImageMath/ExprBaseTpl.h"
#include "host/lib/ImageMath/ExprInterface.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// A view of some channels of an array operand, in a chosen order; holds the array by value.
	template <typename Operand>
	class ChannelSwizzleViewTpl : public ExprBaseTpl<ChannelSwizzleViewTpl<Operand>>,
	                              public ChannelSwizzleViewBase,
	                              public ExprInterface,
	                              public ChannelSwizzleViewGl
	{
	public:
		using OperandType = Operand;

		/// Channel c of the view is channel `channels[c]` of `operand`.
		ChannelSwizzleViewTpl(const Operand& operand, std::vector<std::uint64_t> channels)
		    : ChannelSwizzleViewBase(std::move(channels), operand.imgDesc())
		    , m_operand(operand)
		{
		}

		ImageDescriptor imgDesc() const override { return viewDescriptor(); }
		int imageCount() const override { return m_operand.imageCount(); }
		/// The smaller of the operand's level and what the channel list allows.
		int deviceSupport() const override { return std::min(m_operand.deviceSupport(), channelDeviceLevel()); }

		const Operand& operand() const { return m_operand; }
		/// Channel c of the view at pixel (x, y, z), read through the operand (CPU evaluation).
		double value(int x, int y, int z, int c) const
		{
			return m_operand.value(x, y, z, static_cast<int>(channels()[static_cast<std::size_t>(c)]));
		}

		const GlExprInterface& operandGl() const override { return m_operand; }
		GlExprInterface& operandGl() override { return m_operand; }
		const std::vector<std::uint64_t>& selectedChannels() const override { return channels(); }

	private:
		Operand m_operand;
	};
}
