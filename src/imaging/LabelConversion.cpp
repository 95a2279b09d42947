#include "src/imaging/LabelConversion.h"

#include <fmt/format.h>

#include "host/core/Log.h"
#include "host/core/ThreadTeam.h"
#include "src/imaging/ExpressionValue.h"

namespace Quorvale::ImageMath
{
	namespace
	{
		const char* const kLogCategory = "ImageMath";

		template <typename T>
		void assignCpu(TypedArray<T>& target, const LabelConversion<TypedArray<unsigned int>>& expression)
		{
			const ImageDescriptor layout = target.image().descriptor();
			const int width = layout.dimensions().x(), height = layout.dimensions().y(), depth = layout.dimensions().z();
			const int channels = layout.channels();
			const bool toStorage = !target.rawValues();
			T* out = target.data();
			const Threading::ThreadTeam team(depth > 8);
#pragma omp parallel for schedule(static) if (depth > 8) num_threads(team.size())
			for (int z = 0; z < depth; ++z)
			{
				std::size_t element = static_cast<std::size_t>(z) * static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
				                      static_cast<std::size_t>(channels);
				for (int y = 0; y < height; ++y)
					for (int x = 0; x < width; ++x)
						for (int c = 0; c < channels; ++c, ++element)
						{
							double value = internal::valueAt(expression, x, y, z, c);
							if (toStorage)
								value = layout.originalToStorage(value);
							out[element] = internal::fromDouble<T>(value);
						}
			}
		}
	}

	LabelConversion<ArrayImage> makeLabelConversion(const ArrayImage& codes, int strategy)
	{
		const LabelCondition<ArrayImage> condition(codes, Scalar<double>(0.0), ImgOps::equal{});
		return LabelConversion<ArrayImage>(LabelSelection<ArrayImage>(condition, Scalar<double>(1.0), Scalar<double>(0.0)), strategy);
	}

	namespace internal
	{
		std::optional<LabelConversion<TypedArray<unsigned int>>> toTypedExpression(const LabelConversion<ArrayImage>& expression)
		{
			const LabelSelection<ArrayImage>& selection = expression.expression();
			const LabelCondition<ArrayImage>& condition = selection.condition();
			auto codes = TypedArray<unsigned int>::fromShared(condition.left());
			if (!codes)
				return std::nullopt;
			const LabelCondition<TypedArray<unsigned int>> typedCondition(*codes, condition.right(), condition.op());
			return LabelConversion<TypedArray<unsigned int>>(
			    LabelSelection<TypedArray<unsigned int>>(typedCondition, selection.yes(), selection.no()), expression.strategy());
		}
	}

	ArrayImage& evaluateLabelConversion(ArrayImage& target, const LabelConversion<ArrayImage>& expression)
	{
		// The GPU side names the tree it is given, so it works on a copy.
		LabelConversion<ArrayImage> glExpression = expression;
		if (target.assignGl(glExpression))
			return target;
		std::shared_ptr<MemImage> memory = target.image().sharedMem();
		if (!memory)
			return target;
		const auto typedExpression = internal::toTypedExpression(expression);
		if (!typedExpression)
		{
			Log::error("Cannot convert the label codes: they are not unsigned 32-bit integers", kLogCategory);
			return target;
		}
		const ImageDescriptor codes = typedExpression->expression().condition().left().imgDesc();
		if (codes.dimensions() != memory->descriptor().dimensions() || codes.channels() != memory->descriptor().channels())
		{
			Log::error("Cannot convert the label codes: the target differs from them in extents or channels", kLogCategory);
			return target;
		}
		// A target of an element code without a kernel is only marked changed.
		internal::withElementType(memory->pixelType(),
		                          [&](auto tag)
		                          {
			                          using T = typename decltype(tag)::type;
			                          auto typedTarget = TypedArray<T>::fromShared(target);
			                          assignCpu<T>(*typedTarget, *typedExpression);
		                          });
		target.image().setDirtyMem();
		return target;
	}
}
