// Immediate mode over WebGL 2: vertices take the current colour, normal and texture coordinate,
// and collect in one array that is drawn whenever a state change or a clear needs the GL to
// catch up, so a run of quads or bolts between two state changes is one draw. Polygons become
// fans, as the desktop GL splits them.
#include <cstddef>
#include <cstring>

#include "platform/web/gl1_internal.h"

namespace gl1 {

void immediateInit() {
    s.pending.reserve(16384);
    s.building.reserve(1024);
    GLuint array = 0;
    emscripten_glGenVertexArrays(1, &array);
    emscripten_glBindVertexArray(array);
    emscripten_glGenBuffers(1, &s.buffer);
    emscripten_glBindBuffer(kArrayBuffer, s.buffer);
    const int sizes[4] = {3, 4, 3, 2};
    const std::size_t offsets[4] = {offsetof(Vertex, position), offsetof(Vertex, colour), offsetof(Vertex, normal),
                                    offsetof(Vertex, texCoord)};
    for (GLuint i = 0; i < 4; ++i) {
        emscripten_glEnableVertexAttribArray(i);
        emscripten_glVertexAttribPointer(i, sizes[i], kFloat, GL_FALSE, sizeof(Vertex),
                                         reinterpret_cast<const void*>(offsets[i]));
    }
}

void flush() {
    if (s.pending.empty() || !s.ready) {
        s.pending.clear();
        return;
    }
    if (!programsUpload()) {
        s.pending.clear();
        return;
    }
    emscripten_glBufferData(kArrayBuffer, long(s.pending.size() * sizeof(Vertex)), s.pending.data(), kStreamDraw);
    emscripten_glDrawArrays(s.pendingMode, 0, GLsizei(s.pending.size()));
    s.pending.clear();
}

}  // namespace gl1

using namespace gl1;

void glBegin(GLenum mode) {
    if (s.inside) return record(GL_INVALID_OPERATION);
    if (mode != GL_TRIANGLES && mode != GL_POLYGON && mode != GL_LINES && mode != GL_POINTS)
        return record(GL_INVALID_ENUM);
    s.inside = true;
    s.primitive = mode;
    s.building.clear();
}

void glEnd() {
    if (!s.inside) return record(GL_INVALID_OPERATION);
    s.inside = false;
    const std::size_t n = s.building.size();
    // A polygon is a fan around its first corner, as the desktop GL splits it.
    const GLenum mode = s.primitive == GL_POLYGON ? GL_TRIANGLES : s.primitive;
    if (mode != s.pendingMode) {
        flush();
        s.pendingMode = mode;
    }
    if (s.primitive == GL_POLYGON) {
        for (std::size_t k = 2; k < n; ++k) {
            s.pending.push_back(s.building[0]);
            s.pending.push_back(s.building[k - 1]);
            s.pending.push_back(s.building[k]);
        }
        return;
    }
    // Corners of an unfinished primitive at the end are dropped, as GL drops them.
    const std::size_t per = mode == GL_TRIANGLES ? 3 : mode == GL_LINES ? 2 : 1;
    s.pending.insert(s.pending.end(), s.building.begin(), s.building.begin() + long(n - n % per));
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    if (!s.inside) return;
    Vertex v = s.current;
    v.position[0] = x;
    v.position[1] = y;
    v.position[2] = z;
    s.building.push_back(v);
}

void glVertex3fv(const GLfloat* v) { glVertex3f(v[0], v[1], v[2]); }

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    s.current.colour[0] = r;
    s.current.colour[1] = g;
    s.current.colour[2] = b;
    s.current.colour[3] = a;
}

void glColor4fv(const GLfloat* v) { glColor4f(v[0], v[1], v[2], v[3]); }

void glNormal3fv(const GLfloat* v) { std::memcpy(s.current.normal, v, sizeof s.current.normal); }

void glTexCoord2f(GLfloat u, GLfloat v) {
    s.current.texCoord[0] = u;
    s.current.texCoord[1] = v;
}

void glPointSize(GLfloat size) {
    if (size <= 0.0f) return record(GL_INVALID_VALUE);
    if (size != s.pointSize) {
        flush();
        s.pointSize = size;
    }
}

// WebGL draws lines one pixel wide, as the desktop's software GL draws the show's 1.25.
void glLineWidth(GLfloat width) {
    if (width <= 0.0f) record(GL_INVALID_VALUE);
}
