// OffscreenTarget over a framebuffer object.
#include "app/offscreen.h"

#include <algorithm>

#include "platform/gl.h"

bool OffscreenTarget::create(int width, int height, std::string& error) {
    destroy();
    GLint maxRenderbuffer = 0;
    GLint maxViewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxRenderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
    const int limitW = std::min(maxRenderbuffer, maxViewport[0]);
    const int limitH = std::min(maxRenderbuffer, maxViewport[1]);
    if (width < 1 || height < 1 || width > limitW || height > limitH) {
        error = "--size " + std::to_string(width) + "x" + std::to_string(height) +
                " is beyond what this OpenGL can draw (" + std::to_string(limitW) + "x" + std::to_string(limitH) + " at most)";
        return false;
    }
    glGenFramebuffers(1, &framebuffer_);
    glGenRenderbuffers(1, &colour_);
    glGenRenderbuffers(1, &depth_);
    glBindRenderbuffer(GL_RENDERBUFFER, colour_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, depth_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, depth_);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE || glGetError() != GL_NO_ERROR) {
        error = "cannot make a " + std::to_string(width) + "x" + std::to_string(height) + " framebuffer (out of memory?)";
        destroy();
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

void OffscreenTarget::destroy() {
    if (framebuffer_ != 0) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &colour_);
        glDeleteRenderbuffers(1, &depth_);
    }
    framebuffer_ = colour_ = depth_ = 0;
    width_ = height_ = 0;
}

void OffscreenTarget::read(std::uint8_t* rgb) const {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, rgb);
}
