#pragma once

#include "host/lib/ImageMath/GlExprInterface.h"

#include <string>
#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// The GPU side of a selection: "mix(vec4(<no>), vec4(<yes>), bvec4(<condition>))", which takes
	/// the yes value in every component where the condition is not zero and the no value elsewhere
	/// (the boolean form of mix selects without arithmetic, so an infinite or NaN value of the
	/// branch not taken does not leak into the result).
	class SelectGl : public GlExprInterface
	{
	public:
		std::string evalString(bool assignNames) override;
		/// The condition, the yes and the no operand.
		std::vector<const GlExprInterface*> children() const override;
		std::vector<GlExprInterface*> children() override;

		virtual const GlExprInterface& conditionGl() const = 0;
		virtual GlExprInterface& conditionGl() = 0;
		virtual const GlExprInterface& yesGl() const = 0;
		virtual GlExprInterface& yesGl() = 0;
		virtual const GlExprInterface& noGl() const = 0;
		virtual GlExprInterface& noGl() = 0;

	protected:
		SelectGl() = default;
		SelectGl(const SelectGl&) = default;
		SelectGl& operator=(const SelectGl&) = default;
	};
}
