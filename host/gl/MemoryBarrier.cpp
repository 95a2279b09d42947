#include "host/gl/MemoryBarrier.h"

#include <GL/gl.h>

#include "host/gl/ContextGuard.h"
#include "host/gl/GlError.h"

namespace Quorvale::GL
{
	static_assert(Barrier::ShaderImageAccess == GL_SHADER_IMAGE_ACCESS_BARRIER_BIT && Barrier::TextureFetch == GL_TEXTURE_FETCH_BARRIER_BIT &&
	                  Barrier::TextureUpdate == GL_TEXTURE_UPDATE_BARRIER_BIT && Barrier::BufferUpdate == GL_BUFFER_UPDATE_BARRIER_BIT &&
	                  Barrier::ShaderStorage == GL_SHADER_STORAGE_BARRIER_BIT && Barrier::All == GL_ALL_BARRIER_BITS,
	              "barrier flags are the GL bits");

	void memoryBarrier(unsigned int barriers)
	{
		ContextGuard::requireActive("glMemoryBarrier");
		glMemoryBarrier(barriers);
		checkError("glMemoryBarrier");
	}
}
