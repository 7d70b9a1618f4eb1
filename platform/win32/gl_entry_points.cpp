// The framebuffer calls from the driver of the current context.
#include "platform/gl.h"

namespace {

// Stand-ins until (or unless) the driver provides the real calls: they touch nothing, names
// come back as 0 and no framebuffer is ever complete.
void APIENTRY noNames(GLsizei count, GLuint* names) {
    for (GLsizei i = 0; i < count; ++i) names[i] = 0;
}
void APIENTRY noDelete(GLsizei, const GLuint*) {}
void APIENTRY noBind(GLenum, GLuint) {}
GLenum APIENTRY noStatus(GLenum) { return 0; }
void APIENTRY noAttach(GLenum, GLenum, GLenum, GLuint) {}
void APIENTRY noStorage(GLenum, GLenum, GLsizei, GLsizei) {}

// wglGetProcAddress answers with null, or on some drivers with small numbers, for a call it
// does not know.
template <typename T>
bool load(T& target, const char* name) {
    const PROC call = wglGetProcAddress(name);
    const auto value = reinterpret_cast<INT_PTR>(call);
    target = value >= -1 && value <= 3 ? nullptr : reinterpret_cast<T>(reinterpret_cast<void*>(call));
    return target != nullptr;
}

}  // namespace

PFNGLGENFRAMEBUFFERSPROC veldrin_glGenFramebuffers = noNames;
PFNGLDELETEFRAMEBUFFERSPROC veldrin_glDeleteFramebuffers = noDelete;
PFNGLBINDFRAMEBUFFERPROC veldrin_glBindFramebuffer = noBind;
PFNGLCHECKFRAMEBUFFERSTATUSPROC veldrin_glCheckFramebufferStatus = noStatus;
PFNGLFRAMEBUFFERRENDERBUFFERPROC veldrin_glFramebufferRenderbuffer = noAttach;
PFNGLGENRENDERBUFFERSPROC veldrin_glGenRenderbuffers = noNames;
PFNGLDELETERENDERBUFFERSPROC veldrin_glDeleteRenderbuffers = noDelete;
PFNGLBINDRENDERBUFFERPROC veldrin_glBindRenderbuffer = noBind;
PFNGLRENDERBUFFERSTORAGEPROC veldrin_glRenderbufferStorage = noStorage;

bool loadGlEntryPoints() {
    // All or nothing: a half-loaded set could make a framebuffer look complete and draw nowhere.
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
    const bool all = load(genFramebuffers, "glGenFramebuffers") &&
                     load(deleteFramebuffers, "glDeleteFramebuffers") &&
                     load(bindFramebuffer, "glBindFramebuffer") &&
                     load(checkFramebufferStatus, "glCheckFramebufferStatus") &&
                     load(framebufferRenderbuffer, "glFramebufferRenderbuffer") &&
                     load(genRenderbuffers, "glGenRenderbuffers") &&
                     load(deleteRenderbuffers, "glDeleteRenderbuffers") &&
                     load(bindRenderbuffer, "glBindRenderbuffer") &&
                     load(renderbufferStorage, "glRenderbufferStorage");
    if (!all) return false;
    veldrin_glGenFramebuffers = genFramebuffers;
    veldrin_glDeleteFramebuffers = deleteFramebuffers;
    veldrin_glBindFramebuffer = bindFramebuffer;
    veldrin_glCheckFramebufferStatus = checkFramebufferStatus;
    veldrin_glFramebufferRenderbuffer = framebufferRenderbuffer;
    veldrin_glGenRenderbuffers = genRenderbuffers;
    veldrin_glDeleteRenderbuffers = deleteRenderbuffers;
    veldrin_glBindRenderbuffer = bindRenderbuffer;
    veldrin_glRenderbufferStorage = renderbufferStorage;
    return true;
}
