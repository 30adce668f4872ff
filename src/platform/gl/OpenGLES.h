#pragma once
// OpenGL ES 2.0 as the phone's <OpenGLES/ES2/gl.h> and <OpenGLES/ES2/glext.h> give it: Mesa's
// implementation, reached through EAGLContext (EAGL.h).
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#ifndef GL_RGBA8_OES
#define GL_RGBA8_OES 0x8058
#endif
#ifndef GL_BGRA_EXT
#define GL_BGRA_EXT 0x80E1
#endif
