// What the pieces of the GL 1 layer share (gl1_state.cpp, gl1_programs.cpp, gl1_immediate.cpp):
// the WebGL 2 entry points, the layer's one state, and the few calls between the pieces. Not
// for use outside platform/web.
#pragma once

#include <vector>

#include "platform/web/gl1.h"

// WebGL 2 through emscripten's bindings, under the names that do not collide with ours.
extern "C" {
void emscripten_glEnable(GLenum cap);
void emscripten_glDisable(GLenum cap);
void emscripten_glBlendFunc(GLenum src, GLenum dst);
void emscripten_glDepthFunc(GLenum func);
void emscripten_glDepthMask(GLboolean flag);
void emscripten_glViewport(GLint x, GLint y, GLsizei width, GLsizei height);
void emscripten_glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a);
void emscripten_glClearDepthf(GLclampf depth);
void emscripten_glClearStencil(GLint s);
void emscripten_glClear(GLbitfield mask);
void emscripten_glFlush();
void emscripten_glFinish();
GLenum emscripten_glGetError();
void emscripten_glGetIntegerv(GLenum name, GLint* params);
void emscripten_glPixelStorei(GLenum name, GLint param);
void emscripten_glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                             GLvoid* pixels);
void emscripten_glGenTextures(GLsizei n, GLuint* textures);
void emscripten_glDeleteTextures(GLsizei n, const GLuint* textures);
void emscripten_glBindTexture(GLenum target, GLuint texture);
void emscripten_glTexParameteri(GLenum target, GLenum name, GLint param);
void emscripten_glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                             GLint border, GLenum format, GLenum type, const GLvoid* pixels);
GLuint emscripten_glCreateShader(GLenum type);
void emscripten_glShaderSource(GLuint shader, GLsizei count, const char* const* text, const GLint* length);
void emscripten_glCompileShader(GLuint shader);
void emscripten_glGetShaderiv(GLuint shader, GLenum name, GLint* params);
void emscripten_glGetShaderInfoLog(GLuint shader, GLsizei size, GLsizei* length, char* log);
GLuint emscripten_glCreateProgram();
void emscripten_glAttachShader(GLuint program, GLuint shader);
void emscripten_glBindAttribLocation(GLuint program, GLuint index, const char* name);
void emscripten_glLinkProgram(GLuint program);
void emscripten_glGetProgramiv(GLuint program, GLenum name, GLint* params);
void emscripten_glUseProgram(GLuint program);
GLint emscripten_glGetUniformLocation(GLuint program, const char* name);
void emscripten_glUniform1i(GLint location, GLint value);
void emscripten_glUniform1f(GLint location, GLfloat value);
void emscripten_glUniform4fv(GLint location, GLsizei count, const GLfloat* value);
void emscripten_glUniformMatrix3fv(GLint location, GLsizei count, GLboolean transpose, const GLfloat* value);
void emscripten_glUniformMatrix4fv(GLint location, GLsizei count, GLboolean transpose, const GLfloat* value);
void emscripten_glGenBuffers(GLsizei n, GLuint* buffers);
void emscripten_glBindBuffer(GLenum target, GLuint buffer);
void emscripten_glBufferData(GLenum target, long size, const void* data, GLenum usage);
void emscripten_glGenVertexArrays(GLsizei n, GLuint* arrays);
void emscripten_glBindVertexArray(GLuint array);
void emscripten_glEnableVertexAttribArray(GLuint index);
void emscripten_glVertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                                      const void* offset);
void emscripten_glDrawArrays(GLenum mode, GLint first, GLsizei count);
}

namespace gl1 {

constexpr GLenum kFloat = 0x1406;
constexpr GLenum kArrayBuffer = 0x8892;
constexpr GLenum kStreamDraw = 0x88E0;
constexpr GLenum kClampToEdge = 0x812F;

struct Vertex {
    float position[3];
    float colour[4];
    float normal[3];
    float texCoord[2];
};

struct Matrix {
    float m[16];  // column-major, as GL keeps it
};

constexpr Matrix kIdentity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
constexpr int kModelViewDepth = 32;
constexpr int kProjectionDepth = 4;

struct State {
    bool ready = false;
    GLuint buffer = 0;

    Matrix modelView[kModelViewDepth];
    Matrix projection[kProjectionDepth];
    int modelViewTop = 0;
    int projectionTop = 0;
    GLenum matrixMode = GL_MODELVIEW;

    Vertex current{{0, 0, 0}, {1, 1, 1, 1}, {0, 0, 1}, {0, 0}};
    bool lighting = false;
    bool light0 = false;
    bool normalize = false;
    bool colourMaterial = false;
    bool texture2D = false;
    GLuint boundTexture = 0;
    std::vector<bool> textureHasImage;  // by name: an incomplete texture turns texturing off
    float lightPosition[4] = {0, 0, 1, 0};
    float lightAmbient[4] = {0, 0, 0, 1};
    float lightDiffuse[4] = {1, 1, 1, 1};
    float pointSize = 1.0f;

    // Inside glBegin: the primitive being specified.
    bool inside = false;
    GLenum primitive = GL_TRIANGLES;
    std::vector<Vertex> building;
    // Waiting to be drawn, all with the state they were specified under.
    GLenum pendingMode = GL_TRIANGLES;
    std::vector<Vertex> pending;

    GLenum error = GL_NO_ERROR;
};

extern State s;

// Keeps the first error until glGetError reads it, as GL does.
void record(GLenum error);
// product = a × b, each element summed left to right as the desktop GL does.
Matrix multiply(const Matrix& a, const Matrix& b);

// Makes the programs the first frame draws with (gl1_programs.cpp).
bool programsInit();
// Picks the program for the state the pending vertices were specified under and hands it that
// state; false when that program does not build.
bool programsUpload();
// The vertex array and its buffer (gl1_immediate.cpp).
void immediateInit();
// Draws what has collected, with the state it was specified under (gl1_immediate.cpp).
void flush();

}  // namespace gl1
