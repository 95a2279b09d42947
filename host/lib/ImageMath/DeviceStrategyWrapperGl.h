#pragma once

#include "host/lib/ImageMath/GlExprInterface.h"

#include <string>
#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// The GPU side of a device-strategy wrapper: the wrapped expression unchanged.
	class DeviceStrategyWrapperGl : public GlExprInterface
	{
	public:
		/// The wrapped expression's GLSL expression.
		std::string evalString(bool assignNames) override;
		/// The wrapped expression.
		std::vector<const GlExprInterface*> children() const override { return {&wrappedGl()}; }
		std::vector<GlExprInterface*> children() override { return {&wrappedGl()}; }

		virtual const GlExprInterface& wrappedGl() const = 0;
		virtual GlExprInterface& wrappedGl() = 0;

	protected:
		DeviceStrategyWrapperGl() = default;
		DeviceStrategyWrapperGl(const DeviceStrategyWrapperGl&) = default;
		DeviceStrategyWrapperGl& operator=(const DeviceStrategyWrapperGl&) = default;
	};
}
