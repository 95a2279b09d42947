#include "host/gl/Texture.h"

#include <GL/gl.h>

#include <gtest/gtest.h>

namespace Quorvale::GL
{
	// Made outside a guard, the textures hold no storage; the product of their extents does not fit
	// an int (2^33 wraps to 0).
	TEST(TextureTest, TexturesTooLargeForAnIntCountOfTexelsAreNotNull)
	{
		for (const Eigen::Vector3i& extents : {Eigen::Vector3i(65536, 65536, 2), Eigen::Vector3i(46341, 46341, 1)})
			EXPECT_FALSE(Texture(extents, Texture::formatFor(GL_UNSIGNED_INT, 1)).isNull()) << extents.transpose();
		EXPECT_TRUE(Texture().isNull());
	}
}
