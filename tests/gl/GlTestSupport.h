#pragma once

#include "host/gl/Context.h"
#include "host/gl/ContextGuard.h"

#include <gtest/gtest.h>

/// Opens the context for one test, or skips the test on a machine without OpenGL.
#define QUORVALE_OPEN_GL_GUARD(guard)                                                                                                  \
	Quorvale::GL::ContextGuard guard;                                                                                                    \
	if (!guard)                                                                                                                          \
	{                                                                                                                                    \
		GTEST_SKIP() << "No OpenGL context: " << Quorvale::GL::Context::failure();                                                       \
	}                                                                                                                                    \
	else                                                                                                                                 \
		(void)0
