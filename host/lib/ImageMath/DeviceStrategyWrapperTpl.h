#pragma once

#include "host/lib/ImageMath/DeviceStrategyWrapperGl.h"
#include "host/lib/ImageMath/ExprBaseTpl.h"
#include "host/lib/ImageMath/ExprInterface.h"
#include "host/lib/ImageMath/UnaryWrapperBase.h"

#include <algorithm>

namespace Quorvale::ImageMath::internal
{
	/// The root of an expression tree: limits where the wrapped expression (held by value) may be
	/// evaluated to at most `strategy`.
	template <typename Expr>
	class DeviceStrategyWrapperTpl : public ExprBaseTpl<DeviceStrategyWrapperTpl<Expr>>,
	                                 public UnaryWrapperBase,
	                                 public ExprInterface,
	                                 public DeviceStrategyWrapperGl
	{
	public:
		using ExpressionType = Expr;

		/// Copies the expression; `strategy` is a `DeviceStrategy` value.
		DeviceStrategyWrapperTpl(const Expr& expression, int strategy)
		    : m_expression(expression)
		    , m_strategy(strategy)
		{
		}

		ImageDescriptor imgDesc() const override { return m_expression.imgDesc(); }
		int imageCount() const override { return m_expression.imageCount(); }
		/// The smaller of the expression's level and the strategy.
		int deviceSupport() const override { return std::min(m_expression.deviceSupport(), m_strategy); }

		const Expr& expression() const { return m_expression; }
		int strategy() const { return m_strategy; }

		const GlExprInterface& wrappedGl() const override { return m_expression; }
		GlExprInterface& wrappedGl() override { return m_expression; }

	private:
		Expr m_expression;
		int m_strategy;
	};
}
