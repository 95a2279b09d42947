#include "host/lib/ImageMath/ChannelSwizzleViewGl.h"

#include <stdexcept>

#include "host/lib/ImageMath/GlTagging.h"

namespace Quorvale::ImageMath::internal
{
	std::string ChannelSwizzleViewGl::evalString(bool assignNames)
	{
		if (assignNames)
			tagAndAssignNamesHelper(*this, {});
		static constexpr char letters[] = {'x', 'y', 'z', 'w'};
		std::string components;
		for (std::uint64_t channel : selectedChannels())
		{
			if (channel >= 4)
				throw std::out_of_range("Channel " + std::to_string(channel) + " cannot be selected in GLSL");
			components.push_back(letters[channel]);
		}
		return "(" + operandGl().evalString(false) + ")." + components;
	}
}
