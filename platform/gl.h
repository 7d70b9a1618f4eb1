// The fixed-function OpenGL 1.1 API and GLU, as every drawing file uses them: the system's on
// the desktop, the browser build's own layer over WebGL 2 in the page.
#pragma once

#ifdef __EMSCRIPTEN__
#include "platform/web/gl1.h"
#else
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glu.h>

#ifndef GL_CLAMP
#define GL_CLAMP 0x2900
#endif
#endif
