// The fixed-function OpenGL 1.1 API and GLU, as every drawing file uses them: the system's on
// the desktop and on Windows, the browser build's own layer over WebGL 2 in the page.
#pragma once

#ifdef __EMSCRIPTEN__
#include "platform/web/gl1.h"
#elif defined(_WIN32)
// opengl32.dll exports GL 1.1 only; the framebuffer calls the capture draws into come from the
// driver once a context is current (platform/win32/gl_entry_points.h).
#include <windows.h>
#include <GL/gl.h>
#include <GL/glu.h>
#include <GL/glext.h>

#include "platform/win32/gl_entry_points.h"
#else
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glu.h>

#ifndef GL_CLAMP
#define GL_CLAMP 0x2900
#endif
#endif
