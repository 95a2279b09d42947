#pragma once

#include "host/lib/ImageMath/ChannelSwizzleViewBase.h"
#include "host/lib/ImageMath/ChannelSwizzleViewGl.h"
#include "host/lib/ImageMath/ExprBaseTpl.h"
#include "host/lib/ImageMath/ExprInterface.h"
#include "host/lib/ImageMath/Parallel.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace Quorvale::ImageMath::internal
{
	/// Channel 0 of an inner view repeated over `count` channels; holds the view by value.
	///
	/// CPU evaluation reads the repeated value once per pixel: `cachedValue` keeps in `threadCache`,
	/// for each OpenMP thread, the last pixel key it read and the value, so the other channels of the same
	/// pixel are served from the cache. A pixel can therefore be overwritten in place once its
	/// first channel has been computed. Each thread touches only its own entry; the entries are
	/// a cache line apart so that threads do not contend for one line.
	template <typename Inner>
	class BroadcastChannelsTpl : public ExprBaseTpl<BroadcastChannelsTpl<Inner>>,
	                             public ChannelSwizzleViewBase,
	                             public ExprInterface,
	                             public ChannelSwizzleViewGl
	{
	public:
		using InnerType = Inner;

		/// A key no pixel has: the cache is empty.
		static constexpr std::uint64_t noKey = std::numeric_limits<std::uint64_t>::max();

		struct alignas(64) CacheEntry
		{
			std::uint64_t key = noKey;
			double value = 0.0;
		};

		/// Repeats channel 0 of `inner` over `count` channels, with one empty cache entry per
		/// thread an OpenMP loop may use (`maxThreadCount`).
		BroadcastChannelsTpl(const Inner& inner, int count)
		    : ChannelSwizzleViewBase(std::vector<std::uint64_t>(static_cast<std::size_t>(std::max(count, 0)), 0), inner.imgDesc())
		    , m_inner(inner)
		    , m_threadCache(static_cast<std::size_t>(maxThreadCount()))
		{
		}

		ImageDescriptor imgDesc() const override { return viewDescriptor(); }
		int imageCount() const override { return m_inner.imageCount(); }
		/// The smaller of the inner view's level and what the repeated channel count allows.
		int deviceSupport() const override { return std::min(m_inner.deviceSupport(), channelDeviceLevel()); }

		const Inner& inner() const { return m_inner; }
		/// Number of repeated channels.
		int count() const { return static_cast<int>(channels().size()); }

		/// Channel 0 of the inner view at pixel (x, y, z), for any output channel.
		double value(int x, int y, int z, int c) const { return m_inner.value(x, y, z, 0); }
		/// Like `value`, but read only when `key` (a number unique to the pixel) differs from the
		/// last key of thread `thread`'s entry; `thread` must be below the size of `threadCache`.
		double cachedValue(std::uint64_t key, int x, int y, int z, int thread) const
		{
			CacheEntry& entry = m_threadCache[static_cast<std::size_t>(thread)];
			if (entry.key != key)
			{
				entry.value = m_inner.value(x, y, z, 0);
				entry.key = key;
			}
			return entry.value;
		}
		/// One cache entry per thread that may evaluate at once, by OpenMP thread number.
		const std::vector<CacheEntry>& threadCache() const { return m_threadCache; }
		/// Empties every entry, so that an evaluation never reuses a value read by an earlier one.
		void resetCache() const
		{
			for (CacheEntry& entry : m_threadCache)
				entry = CacheEntry{};
		}

		const GlExprInterface& operandGl() const override { return m_inner; }
		GlExprInterface& operandGl() override { return m_inner; }
		const std::vector<std::uint64_t>& selectedChannels() const override { return channels(); }

	private:
		Inner m_inner;
		mutable std::vector<CacheEntry> m_threadCache;
	};
}
