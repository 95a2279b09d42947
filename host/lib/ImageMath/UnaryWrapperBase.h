#pragma once

namespace Quorvale::ImageMath::internal
{
	/// Evaluation-side base of a node that wraps one expression and takes its value unchanged (the
	/// device-strategy wrapper): it adds no state of its own, the wrapped expression is the node's.
	class UnaryWrapperBase
	{
	protected:
		UnaryWrapperBase() = default;
		UnaryWrapperBase(const UnaryWrapperBase&) = default;
		UnaryWrapperBase& operator=(const UnaryWrapperBase&) = default;
		~UnaryWrapperBase() = default;
	};
}
