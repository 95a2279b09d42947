#include "host/lib/ImageMath/ReductionWrapperGl.h"

#include <cstring>
#include <limits>
#include <string>

#include "host/core/Log.h"
#include "host/gl/ContextGuard.h"
#include "host/gl/HostShaders.h"
#include "host/gl/MemoryBarrier.h"
#include "host/gl/ProgramCache.h"
#include "host/gl/ShaderStorageBuffer.h"
#include "host/lib/ImageMath/ArrayBase.h"
#include "host/lib/ImageMath/ArrayGl.h"
#include "host/lib/ImageMath/GlEvaluation.h"
#include "host/lib/SharedImage.h"

namespace Quorvale::ImageMath::internal
{
	namespace
	{
		constexpr unsigned int kGroupSize = 64;
		constexpr unsigned int kMaxGroups = 65535;

		GL::ProgramCache& reductionPrograms()
		{
			// Never destroyed, like the expression programs.
			static GL::ProgramCache* const cache = new GL::ProgramCache(GL::hostShaderPath("MaxReduction.comp"), 32);
			return *cache;
		}

		enum class ValueKind
		{
			Float,
			Int,
			Unsigned
		};

		ValueKind kindOf(int pixelType)
		{
			switch (pixelType)
			{
				case ImageDescriptor::Char:
				case ImageDescriptor::Short:
				case ImageDescriptor::Int: return ValueKind::Int;
				case ImageDescriptor::UnsignedChar:
				case ImageDescriptor::UnsignedShort:
				case ImageDescriptor::UnsignedInt: return ValueKind::Unsigned;
				default: return ValueKind::Float;
			}
		}

		double decode(std::uint32_t bits, ValueKind kind)
		{
			switch (kind)
			{
				case ValueKind::Int: return static_cast<double>(static_cast<std::int32_t>(bits));
				case ValueKind::Unsigned: return static_cast<double>(bits);
				default:
				{
					float value = 0.0f;
					std::memcpy(&value, &bits, sizeof value);
					return static_cast<double>(value);
				}
			}
		}

		std::string reductionDefines(ValueKind kind, int channels, bool lessIsBetter)
		{
			static const char* const samplers[] = {"sampler3D", "isampler3D", "usampler3D"};
			static const char* const values[] = {"float", "int", "uint"};
			static const char* const vectors[] = {"vec4", "ivec4", "uvec4"};
			const int k = static_cast<int>(kind);
			return std::string("#define SAMPLER ") + samplers[k] + "\n#define VALUE " + values[k] + "\n#define VALUE4 " + vectors[k] +
			       "\n#define CHANNELS " + std::to_string(channels) + "\n#define LESS_IS_BETTER " + (lessIsBetter ? "1" : "0") +
			       "\n#define IS_FLOAT " + (kind == ValueKind::Float ? "1" : "0") + "\n";
		}

		/// Runs the reduction over the image's texture: per row (y, z) and channel, the best value's
		/// bits and its x (negative where no value counts), `bytes` bytes in all.
		std::vector<std::uint32_t> rowEntries(GL::Program& program, SharedImage& image, std::size_t bytes, unsigned int groupsX,
		                                      unsigned int groupsY)
		{
			GL::Texture& texture = image.gl().texture();
			texture.setFilter(ArrayGl::nearestFilter);
			texture.bind(0);
			program.setArgument("image", 0);
			program.setArgument("size", image.descriptor().dimensions());
			GL::ShaderStorageBuffer partials(bytes);
			partials.bindBase(0);
			program.dispatchCompute(groupsX, groupsY);
			GL::memoryBarrier(GL::Barrier::BufferUpdate);
			std::vector<std::uint32_t> entries(bytes / sizeof(std::uint32_t));
			partials.download(entries.data(), bytes);
			return entries;
		}

		/// The best of the rows' entries per channel, as the CPU loop finds it.
		struct RowMaxima
		{
			std::vector<bool> found;
			std::vector<double> stored;
			std::vector<Eigen::Vector4i> where;
		};

		RowMaxima combineRows(const std::vector<std::uint32_t>& entries, std::size_t rows, int channels, int height, ValueKind kind,
		                      bool lessIsBetter)
		{
			const std::size_t count = static_cast<std::size_t>(channels);
			RowMaxima maxima{std::vector<bool>(count, false), std::vector<double>(count, 0.0),
			                 std::vector<Eigen::Vector4i>(count, Eigen::Vector4i(-1, -1, -1, 0))};
			// Rows in index order, each replaced only by a strictly better value: the first pixel
			// of the best value wins, as in the CPU loop.
			for (std::size_t row = 0; row < rows; ++row)
				for (int c = 0; c < channels; ++c)
				{
					const std::size_t entry = 2 * (row * count + static_cast<std::size_t>(c));
					const std::int32_t x = static_cast<std::int32_t>(entries[entry + 1]);
					if (x < 0)
						continue;
					const double v = decode(entries[entry], kind);
					const std::size_t ci = static_cast<std::size_t>(c);
					if (maxima.found[ci] && !(lessIsBetter ? v < maxima.stored[ci] : v > maxima.stored[ci]))
						continue;
					maxima.found[ci] = true;
					maxima.stored[ci] = v;
					maxima.where[ci] = Eigen::Vector4i(x, static_cast<int>(row % static_cast<std::size_t>(height)),
					                                   static_cast<int>(row / static_cast<std::size_t>(height)), 0);
				}
			return maxima;
		}

		/// The result of the maxima in original units (unless `mapped` is false) into `result` and,
		/// when given, `positions`.
		void storeMaxima(RowMaxima& maxima, const ImageDescriptor& layout, bool mapped, Eigen::VectorXd& result,
		                 std::vector<Eigen::Vector4i>* positions)
		{
			const int channels = layout.channels();
			const double lowest = std::numeric_limits<double>::lowest();
			Eigen::VectorXd best = Eigen::VectorXd::Constant(channels, lowest);
			for (int c = 0; c < channels; ++c)
			{
				const std::size_t ci = static_cast<std::size_t>(c);
				if (!maxima.found[ci])
					continue;
				const double value = mapped ? layout.storageToOriginal(maxima.stored[ci]) : maxima.stored[ci];
				// A mapped value can still fall to the lowest double or below (overflow to -inf).
				if (value > lowest)
					best[c] = value;
				else
					maxima.where[ci] = Eigen::Vector4i(-1, -1, -1, 0);
			}
			result = best;
			if (positions)
				positions->insert(positions->end(), maxima.where.begin(), maxima.where.end());
		}
	}

	bool ReductionWrapperGl::reduceGl(Eigen::VectorXd& result, std::vector<Eigen::Vector4i>* positions)
	{
		if (operationGl().glslExpression("a", "b") != "max((a), (b))")
			return false;
		const auto* array = dynamic_cast<const ArrayGl*>(&operandGl());
		if (!array || !array->isVoidArray() || !array->glImage())
			return false;
		const auto* base = dynamic_cast<const ArrayBase*>(array->exprInterface());
		SharedImage& image = const_cast<SharedImage&>(*array->glImage());
		const ImageDescriptor layout = image.descriptor();
		if (!base || !GlImage::canHold(layout) || layout.size() == 0 || !mayUseGpu(base->deviceSupport(), image, {&image}))
			return false;

		const int channels = layout.channels();
		const Eigen::Vector3i& d = layout.dimensions();
		const std::size_t rows = static_cast<std::size_t>(d.y()) * static_cast<std::size_t>(d.z());
		const unsigned int groups = static_cast<unsigned int>((rows + kGroupSize - 1) / kGroupSize);
		const unsigned int groupsX = std::min(groups, kMaxGroups);
		const unsigned int groupsY = (groups + groupsX - 1) / groupsX;
		if (groupsY > kMaxGroups)
			return false;

		GL::ContextGuard guard(GL::ContextGuard::TryOnly);
		if (!guard)
			return false;
		try
		{
			const std::size_t bytes = rows * static_cast<std::size_t>(channels) * 2 * sizeof(std::uint32_t);
			if (bytes > GL::ShaderStorageBuffer::maxBlockSize())
				return false;
			// The storage mapping is monotonic: with a negative slope the largest original value
			// is that of the smallest stored one. It is applied here in double, as on the CPU.
			const bool mapped = !base->rawValues();
			const bool lessIsBetter = mapped && layout.slope() < 0.0;
			const ValueKind kind = kindOf(layout.pixelType());
			std::shared_ptr<GL::Program> program = reductionPrograms().getProgram(reductionDefines(kind, channels, lessIsBetter));
			const std::vector<std::uint32_t> entries = rowEntries(*program, image, bytes, groupsX, groupsY);
			RowMaxima maxima = combineRows(entries, rows, channels, d.y(), kind, lessIsBetter);
			storeMaxima(maxima, layout, mapped, result, positions);
			return true;
		}
		catch (const std::exception& e)
		{
			Log::log(Log::Debug, "ImageMath", std::string("GPU reduction declined: ") + e.what());
			return false;
		}
	}
}
