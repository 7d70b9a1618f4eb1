// The GL calls past 1.1 that the program makes (the capture's framebuffer), which Windows'
// opengl32.dll does not export: pointers filled from the driver with wglGetProcAddress. The
// usual names are macros for them, so the calling code reads as on any other port.
// Included through platform/gl.h, after GL/glext.h.
#pragma once

extern PFNGLGENFRAMEBUFFERSPROC veldrin_glGenFramebuffers;
extern PFNGLDELETEFRAMEBUFFERSPROC veldrin_glDeleteFramebuffers;
extern PFNGLBINDFRAMEBUFFERPROC veldrin_glBindFramebuffer;
extern PFNGLCHECKFRAMEBUFFERSTATUSPROC veldrin_glCheckFramebufferStatus;
extern PFNGLFRAMEBUFFERRENDERBUFFERPROC veldrin_glFramebufferRenderbuffer;
extern PFNGLGENRENDERBUFFERSPROC veldrin_glGenRenderbuffers;
extern PFNGLDELETERENDERBUFFERSPROC veldrin_glDeleteRenderbuffers;
extern PFNGLBINDRENDERBUFFERPROC veldrin_glBindRenderbuffer;
extern PFNGLRENDERBUFFERSTORAGEPROC veldrin_glRenderbufferStorage;

#define glGenFramebuffers veldrin_glGenFramebuffers
#define glDeleteFramebuffers veldrin_glDeleteFramebuffers
#define glBindFramebuffer veldrin_glBindFramebuffer
#define glCheckFramebufferStatus veldrin_glCheckFramebufferStatus
#define glFramebufferRenderbuffer veldrin_glFramebufferRenderbuffer
#define glGenRenderbuffers veldrin_glGenRenderbuffers
#define glDeleteRenderbuffers veldrin_glDeleteRenderbuffers
#define glBindRenderbuffer veldrin_glBindRenderbuffer
#define glRenderbufferStorage veldrin_glRenderbufferStorage

// Fills the pointers from the current context. False when the driver lacks any of them: then
// each stays a harmless stand-in and glCheckFramebufferStatus reports every framebuffer
// incomplete, so the capture fails with its message instead of calling through null.
bool loadGlEntryPoints();
