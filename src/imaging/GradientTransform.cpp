#include "src/imaging/GradientTransform.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <string>

#include <fmt/format.h>
#include <omp.h>

#include "host/core/Log.h"
#include "host/core/ThreadTeam.h"

namespace Quorvale::ImageMath
{
	namespace
	{
		const char* const kLogCategory = "ImageMath";

		template <typename A>
		const GradientTerm<A>& term(const GradientTransform<A>& expression, int k)
		{
			const GradientSum<A>& sum = expression.expression();
			switch (k)
			{
				case 0: return sum.left().left();
				case 1: return sum.left().right();
				default: return sum.right();
			}
		}

		/// Why the typed tree cannot be evaluated into `target`, or nothing when it can.
		template <typename T>
		std::optional<std::string> problem(const ImageDescriptor& target, const GradientTransform<TypedArray<T>>& expression)
		{
			if (target.channels() != 3)
				return fmt::format("the target has {} channel(s) instead of 3", target.channels());
			for (int k = 0; k < 3; ++k)
			{
				const auto& broadcast = term(expression, k).right();
				const auto& view = broadcast.inner();
				const ImageDescriptor operand = view.operand().imgDesc();
				if (broadcast.count() != 3)
					return fmt::format("term {} repeats its channel {} times instead of 3", k, broadcast.count());
				if (operand.dimensions() != target.dimensions())
					return fmt::format("the image of term {} differs from the target in extents", k);
				if (view.channels().empty() || view.channels().front() >= static_cast<std::uint64_t>(operand.channels()))
					return fmt::format("term {} selects a channel its image does not have", k);
			}
			return std::nullopt;
		}

	}

	GradientTransform<ArrayImage> makeGradientTransform(const ArrayImage& image, const Eigen::Matrix3d& matrix, int strategy)
	{
		const auto makeTerm = [&](int k)
		{
			ChannelWiseScalar<double, 3> constant(matrix.col(k));
			internal::ChannelSwizzleViewTpl<ArrayImage> view(image, {static_cast<std::uint64_t>(k)});
			internal::BroadcastChannelsTpl<internal::ChannelSwizzleViewTpl<ArrayImage>> broadcast(view, 3);
			return internal::makeMultNode(constant, broadcast);
		};
		const GradientTerm<ArrayImage> term0 = makeTerm(0);
		const GradientTerm<ArrayImage> term1 = makeTerm(1);
		const GradientTerm<ArrayImage> term2 = makeTerm(2);
		const GradientPartialSum<ArrayImage> partial(term0, term1, ImgOps::add{});
		const GradientSum<ArrayImage> sum(partial, term2, ImgOps::add{});
		return GradientTransform<ArrayImage>(sum, strategy);
	}

	ArrayImage& evaluateGradientTransform(ArrayImage& target, const GradientTransform<ArrayImage>& expression)
	{
		// The GPU side names the tree it is given, so it works on a copy.
		GradientTransform<ArrayImage> glExpression = expression;
		if (target.assignGl(glExpression))
			return target;
		std::shared_ptr<MemImage> memory = target.image().sharedMem();
		if (!memory)
			return target;
		bool refused = false;
		internal::withElementType(memory->pixelType(),
		                          [&](auto tag)
		                          {
			                          using T = typename decltype(tag)::type;
			                          auto typedTarget = TypedArray<T>::fromShared(target);
			                          auto typedExpression = internal::toTypedExpression<T>(expression);
			                          std::optional<std::string> reason;
			                          if (!typedExpression)
				                          reason = "an operand image differs from the target in element type";
			                          else
				                          reason = problem<T>(memory->descriptor(), *typedExpression);
			                          if (reason)
			                          {
				                          Log::error("Cannot evaluate the gradient transform: " + *reason, kLogCategory);
				                          refused = true;
				                          return;
			                          }
			                          internal::assignCpu<T>(*typedTarget, *typedExpression);
		                          });
		if (!refused)
			target.image().setDirtyMem();
		return target;
	}

	namespace internal
	{
		template <typename T>
		std::optional<GradientTerm<TypedArray<T>>> toTypedExpression(const GradientTerm<ArrayImage>& term)
		{
			const auto& broadcast = term.right();
			const auto& view = broadcast.inner();
			std::optional<TypedArray<T>> array = TypedArray<T>::fromShared(view.operand());
			if (!array)
				return std::nullopt;
			const ChannelSwizzleViewTpl<TypedArray<T>> typedView(*array, view.channels());
			const BroadcastChannelsTpl<ChannelSwizzleViewTpl<TypedArray<T>>> typedBroadcast(typedView, broadcast.count());
			return GradientTerm<TypedArray<T>>(term.left(), typedBroadcast, term.op());
		}

		template <typename T>
		std::optional<GradientTransform<TypedArray<T>>> toTypedExpression(const GradientTransform<ArrayImage>& expression)
		{
			const GradientSum<ArrayImage>& sum = expression.expression();
			auto term2 = toTypedExpression<T>(sum.right());
			auto term1 = toTypedExpression<T>(sum.left().right());
			auto term0 = toTypedExpression<T>(sum.left().left());
			if (!term0 || !term1 || !term2)
				return std::nullopt;
			const GradientPartialSum<TypedArray<T>> partial(*term0, *term1, sum.left().op());
			const GradientSum<TypedArray<T>> typedSum(partial, *term2, sum.op());
			return GradientTransform<TypedArray<T>>(typedSum, expression.strategy());
		}

		/// Empties the terms' caches: a cache reused from an earlier evaluation could hold a value of
		/// the same pixel key. The number of threads that all caches serve, at least 1.
		template <typename T>
		int resetCaches(std::initializer_list<const GradientTerm<TypedArray<T>>*> terms)
		{
			int threads = std::numeric_limits<int>::max();
			for (const auto* t : terms)
			{
				t->right().resetCache();
				threads = std::min(threads, static_cast<int>(t->right().threadCache().size()));
			}
			return std::max(threads, 1);
		}

		/// The constants of three terms, one row per term, one column per output channel.
		struct Constants
		{
			double values[3][3];
		};

		/// The terms' constants as plain values, returned by value so that nothing outside the
		/// caller refers to them: the cache writes then do not force them to be reloaded.
		template <typename T>
		Constants readConstants(std::initializer_list<const GradientTerm<TypedArray<T>>*> terms)
		{
			Constants constants{};
			int row = 0;
			for (const auto* t : terms)
			{
				for (int c = 0; c < 3; ++c)
					constants.values[row][c] = t->left()[c];
				++row;
			}
			return constants;
		}

		template <typename T>
		TypedArray<T>& assignCpu(TypedArray<T>& target, const GradientTransform<TypedArray<T>>& expression)
		{
			const ImageDescriptor layout = target.image().descriptor();
			const int width = layout.dimensions().x(), height = layout.dimensions().y(), depth = layout.dimensions().z();
			// Three output channels, one per entry of the constants: anything else would read past them.
			constexpr int channels = 3;
			if (width <= 0 || height <= 0 || depth <= 0 || layout.channels() != channels)
				return target;

			const GradientSum<TypedArray<T>>& sum = expression.expression();
			const GradientPartialSum<TypedArray<T>>& partial = sum.left();
			const GradientTerm<TypedArray<T>>& term0 = partial.left();
			const GradientTerm<TypedArray<T>>& term1 = partial.right();
			const GradientTerm<TypedArray<T>>& term2 = sum.right();
			const Threading::ThreadTeam team(depth > 8);
			const int threads = std::min(team.size(), resetCaches<T>({&term0, &term1, &term2}));

			const Constants constants = readConstants<T>({&term0, &term1, &term2});

			T* out = target.data();
			// (v - 0) / 1 is v exactly, so an identity mapping needs no division.
			const bool toStorage = !target.rawValues() && !layout.hasIdentityStorageMapping();
			const double slope = layout.slope(), intercept = layout.intercept();
			const std::size_t slice =
			    static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * static_cast<std::size_t>(channels);
#pragma omp parallel for schedule(static) if (depth > 8) num_threads(threads)
			for (int z = 0; z < depth; ++z)
			{
				const int thread = omp_get_thread_num();
				std::size_t element = static_cast<std::size_t>(z) * slice;
				for (int y = 0; y < height; ++y)
					for (int x = 0; x < width; ++x)
					{
						// Channel 0 of the pixel fills the caches before anything of it is written;
						// the other channels find the same key in them, so the lookups are done once
						// per pixel.
						const std::uint64_t key = element;
						const double read2 = term2.right().cachedValue(key, x, y, z, thread);
						const double read1 = term1.right().cachedValue(key, x, y, z, thread);
						const double read0 = term0.right().cachedValue(key, x, y, z, thread);
						for (int c = 0; c < channels; ++c, ++element)
						{
							const double value2 = term2.op()(constants.values[2][c], read2);
							const double value1 = term1.op()(constants.values[1][c], read1);
							const double value0 = term0.op()(constants.values[0][c], read0);
							double value = sum.op()(partial.op()(value0, value1), value2);
							if (toStorage)
								value = (value - intercept) / slope;
							out[element] = fromDouble<T>(value);
						}
					}
			}
			return target;
		}

#define QUORVALE_GRADIENT_TRANSFORM_INSTANCES(T)                                                                                           \
	template std::optional<GradientTerm<TypedArray<T>>> toTypedExpression<T>(const GradientTerm<ArrayImage>&);                             \
	template std::optional<GradientTransform<TypedArray<T>>> toTypedExpression<T>(const GradientTransform<ArrayImage>&);                   \
	template TypedArray<T>& assignCpu<T>(TypedArray<T>&, const GradientTransform<TypedArray<T>>&);

		QUORVALE_GRADIENT_TRANSFORM_INSTANCES(char)
		QUORVALE_GRADIENT_TRANSFORM_INSTANCES(unsigned char)
		QUORVALE_GRADIENT_TRANSFORM_INSTANCES(short)
		QUORVALE_GRADIENT_TRANSFORM_INSTANCES(unsigned short)
		QUORVALE_GRADIENT_TRANSFORM_INSTANCES(int)
		QUORVALE_GRADIENT_TRANSFORM_INSTANCES(unsigned int)
		QUORVALE_GRADIENT_TRANSFORM_INSTANCES(float)
		QUORVALE_GRADIENT_TRANSFORM_INSTANCES(double)
#undef QUORVALE_GRADIENT_TRANSFORM_INSTANCES
	}
}
