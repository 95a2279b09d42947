#pragma once

namespace Quorvale::GL
{
	/// Flags of `memoryBarrier` (the GL barrier bits).
	namespace Barrier
	{
		/// Image load/store after shader image writes.
		constexpr unsigned int ShaderImageAccess = 0x00000020;
		/// Texture sampling after shader image writes.
		constexpr unsigned int TextureFetch = 0x00000008;
		/// glGetTexImage / glTexSubImage after shader image writes.
		constexpr unsigned int TextureUpdate = 0x00000100;
		/// glGetBufferSubData / glBufferSubData after shader storage writes.
		constexpr unsigned int BufferUpdate = 0x00000200;
		/// Shader storage access after shader storage writes.
		constexpr unsigned int ShaderStorage = 0x00002000;
		constexpr unsigned int All = 0xFFFFFFFF;
	}

	/// Orders the memory accesses of earlier shader runs before the accesses named by `barriers`
	/// (an or of `Barrier` flags). Needs an open guard.
	void memoryBarrier(unsigned int barriers);
}
