#pragma once

namespace Quorvale::ImageMath
{
	/// Static base of every expression node: gives generic code (node builders, conversions) the
	/// concrete node type without a virtual call.
	template <typename Derived>
	class ExprBaseTpl
	{
	public:
		const Derived& derived() const { return static_cast<const Derived&>(*this); }
		Derived& derived() { return static_cast<Derived&>(*this); }

	protected:
		ExprBaseTpl() = default;
		ExprBaseTpl(const ExprBaseTpl&) = default;
		ExprBaseTpl& operator=(const ExprBaseTpl&) = default;
		~ExprBaseTpl() = default;
	};
}
