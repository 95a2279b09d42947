#pragma once

#include "host/lib/ImageDescriptor.h"

#include <cstdint>
#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// Evaluation-side state of a channel view: which operand channels it shows, in which order.
	class ChannelSwizzleViewBase
	{
	public:
		/// Channel c of the view is channel `channels[c]` of an operand laid out as `operand`.
		ChannelSwizzleViewBase(std::vector<std::uint64_t> channels, const ImageDescriptor& operand);

		const std::vector<std::uint64_t>& channels() const { return m_channels; }
		const ImageDescriptor& operandDescriptor() const { return m_operand; }
		/// The operand's layout with one channel per entry of the list.
		ImageDescriptor viewDescriptor() const;
		/// `GpuIfResident` when the list fits a GLSL vector (at most four entries), else `CpuOnly`.
		int channelDeviceLevel() const;

	private:
		std::vector<std::uint64_t> m_channels;
		ImageDescriptor m_operand;
	};
}
