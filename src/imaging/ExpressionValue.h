#pragma once

#include "host/lib/ImageMath/BinaryOpTpl.h"
#include "host/lib/ImageMath/DeviceStrategyWrapperTpl.h"
#include "src/imaging/Array.h"
#include "src/imaging/Scalar.h"
#include "src/imaging/SelectTpl.h"

/// The CPU value of a typed expression (one over `TypedArray` leaves) at one element.
namespace Quorvale::ImageMath::internal
{
	/// Channel `c` of pixel (x, y, z), in original units unless the array reads raw values.
	template <typename T>
	double valueAt(const TypedArray<T>& array, int x, int y, int z, int c)
	{
		return array.value(x, y, z, c);
	}

	template <typename T>
	double valueAt(const Scalar<T>& scalar, int, int, int, int)
	{
		return static_cast<double>(scalar.value());
	}

	template <typename Op, typename Left, typename Right>
	double valueAt(const BinaryOpTpl<Op, Left, Right>& node, int x, int y, int z, int c)
	{
		return node.op()(valueAt(node.left(), x, y, z, c), valueAt(node.right(), x, y, z, c));
	}

	/// Only the operand that is selected is evaluated.
	template <typename Condition, typename Yes, typename No>
	double valueAt(const SelectTpl<Condition, Yes, No>& node, int x, int y, int z, int c)
	{
		return valueAt(node.condition(), x, y, z, c) != 0.0 ? valueAt(node.yes(), x, y, z, c) : valueAt(node.no(), x, y, z, c);
	}

	template <typename Expr>
	double valueAt(const DeviceStrategyWrapperTpl<Expr>& node, int x, int y, int z, int c)
	{
		return valueAt(node.expression(), x, y, z, c);
	}
}
