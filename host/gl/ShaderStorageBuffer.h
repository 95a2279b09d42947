#pragma once

#include "host/gl/ObjectName.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Quorvale::GL
{
	/// A shader storage buffer of a fixed byte size (move-only). Blocks larger than the driver's
	/// limit (128 MiB on llvmpipe, `maxBlockSize`) cannot be bound whole: split the data.
	class ShaderStorageBuffer
	{
	public:
		ShaderStorageBuffer() = default;
		/// A buffer of `size` bytes, filled from `data` when given (else undefined). Allocated at
		/// once inside a guard, otherwise at the first use (with a copy of `data` kept until then). Throws `GL::Error` when the allocation
		/// fails (GL_OUT_OF_MEMORY).
		explicit ShaderStorageBuffer(std::size_t size, const void* data = nullptr);
		ShaderStorageBuffer(ShaderStorageBuffer&&) noexcept = default;
		ShaderStorageBuffer& operator=(ShaderStorageBuffer&&) noexcept = default;

		std::size_t size() const { return m_size; }
		/// The GL name; allocates first if still pending (needs a guard).
		unsigned int id() const;

		/// Writes `size` bytes at byte `offset`; throws std::out_of_range past the end. Needs a guard.
		void upload(const void* data, std::size_t size, std::size_t offset = 0);
		/// Reads `size` bytes from byte `offset`; throws std::out_of_range past the end. Needs a guard.
		void download(void* data, std::size_t size, std::size_t offset = 0) const;
		/// Binds the whole buffer to shader storage binding `index`. Needs a guard.
		void bindBase(unsigned int index) const;

		/// GL_MAX_SHADER_STORAGE_BLOCK_SIZE. Needs a guard.
		static std::size_t maxBlockSize();

	private:
		void allocate() const;
		void allocateWith(const void* data) const;
		void checkRange(std::size_t size, std::size_t offset) const;

		std::size_t m_size = 0;
		/// Initial contents of a buffer created outside a guard, until it is allocated.
		mutable std::vector<std::uint8_t> m_pendingData;
		mutable ObjectName m_name;
	};
}
