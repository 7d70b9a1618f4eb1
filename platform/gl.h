// The fixed-function OpenGL 1.1 API and GLU, as every drawing file uses them.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glu.h>

#ifndef GL_CLAMP
#define GL_CLAMP 0x2900
#endif
