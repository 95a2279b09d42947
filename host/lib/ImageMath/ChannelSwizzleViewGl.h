#pragma once

#include "host/lib/ImageMath/GlExprInterface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// The GPU side of a channel view: a GLSL swizzle of the operand's expression.
	class ChannelSwizzleViewGl : public GlExprInterface
	{
	public:
		/// "(<operand>)." followed by one component letter (x, y, z, w) per channel of the list.
		/// Throws std::out_of_range for a channel past the fourth, which GLSL cannot select.
		std::string evalString(bool assignNames) override;
		/// The operand.
		std::vector<const GlExprInterface*> children() const override { return {&operandGl()}; }
		std::vector<GlExprInterface*> children() override { return {&operandGl()}; }

		virtual const GlExprInterface& operandGl() const = 0;
		virtual GlExprInterface& operandGl() = 0;
		/// The operand channels the view selects.
		virtual const std::vector<std::uint64_t>& selectedChannels() const = 0;

	protected:
		ChannelSwizzleViewGl() = default;
		ChannelSwizzleViewGl(const ChannelSwizzleViewGl&) = default;
		ChannelSwizzleViewGl& operator=(const ChannelSwizzleViewGl&) = default;
	};
}
