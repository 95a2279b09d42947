#include "host/lib/ImageMath/ChannelSwizzleViewBase.h"

#include "host/lib/ImageMath/ExprInterface.h"

namespace Quorvale::ImageMath::internal
{
	ChannelSwizzleViewBase::ChannelSwizzleViewBase(std::vector<std::uint64_t> channels, const ImageDescriptor& operand)
	    : m_channels(std::move(channels))
	    , m_operand(operand)
	{
	}

	ImageDescriptor ChannelSwizzleViewBase::viewDescriptor() const
	{
		ImageDescriptor descriptor = m_operand;
		descriptor.setChannels(static_cast<int>(m_channels.size()));
		return descriptor;
	}

	int ChannelSwizzleViewBase::channelDeviceLevel() const { return m_channels.size() <= 4 ? GpuIfResident : CpuOnly; }
}
