// The GL 1 layer's state outside immediate mode: the matrix stacks with glOrtho, gluPerspective
// and gluLookAt (multiplied in single precision in the order the desktop GL does it, and built
// exactly as GLU builds them, so the vertices land where they land on the desktop), the
// switches, the light, blending and depth, clearing and reading back, textures and errors.
#include <cmath>
#include <cstring>

#include "platform/web/gl1_internal.h"

namespace gl1 {

State s;

void record(GLenum error) {
    if (s.error == GL_NO_ERROR) s.error = error;
}

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix p{};
    for (int row = 0; row < 4; ++row) {
        const float a0 = a.m[row], a1 = a.m[4 + row], a2 = a.m[8 + row], a3 = a.m[12 + row];
        for (int col = 0; col < 4; ++col) {
            const float* bc = &b.m[col * 4];
            p.m[col * 4 + row] = a0 * bc[0] + a1 * bc[1] + a2 * bc[2] + a3 * bc[3];
        }
    }
    return p;
}

}  // namespace gl1

using namespace gl1;

namespace {

Matrix& top() { return s.matrixMode == GL_PROJECTION ? s.projection[s.projectionTop] : s.modelView[s.modelViewTop]; }

void multiplyTop(const Matrix& by) { top() = multiply(top(), by); }

bool isLight(GLenum cap) { return cap >= GL_LIGHT0 && cap < GL_LIGHT0 + 8; }

// A change to one of the layer's own switches; false when the cap is not one of them.
bool setOwnCap(GLenum cap, bool on) {
    bool* flag = nullptr;
    switch (cap) {
        case GL_LIGHTING: flag = &s.lighting; break;
        case GL_NORMALIZE: flag = &s.normalize; break;
        case GL_COLOR_MATERIAL: flag = &s.colourMaterial; break;
        case GL_TEXTURE_2D: flag = &s.texture2D; break;
        case GL_LIGHT0: flag = &s.light0; break;
        default:
            if (!isLight(cap)) return false;
            // Only the first light is drawn with; the others are never switched on here.
            if (on) record(GL_INVALID_ENUM);
            return true;
    }
    if (*flag != on) {
        flush();
        *flag = on;
    }
    return true;
}

void setCap(GLenum cap, bool on) {
    if (s.inside) return record(GL_INVALID_OPERATION);
    if (setOwnCap(cap, on)) return;
    if (cap != GL_BLEND && cap != GL_DEPTH_TEST) return record(GL_INVALID_ENUM);
    flush();
    if (on) emscripten_glEnable(cap);
    else emscripten_glDisable(cap);
}

}  // namespace

bool gl1Init() {
    s = State{};
    for (Matrix& m : s.modelView) m = kIdentity;
    for (Matrix& m : s.projection) m = kIdentity;
    if (!programsInit()) return false;
    immediateInit();
    s.ready = true;
    return true;
}

// --- Matrices ---------------------------------------------------------------------------------

void glMatrixMode(GLenum mode) {
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION) return record(GL_INVALID_ENUM);
    s.matrixMode = mode;
}

void glLoadIdentity() {
    flush();
    top() = kIdentity;
}

void glPushMatrix() {
    int& depth = s.matrixMode == GL_PROJECTION ? s.projectionTop : s.modelViewTop;
    Matrix* stack = s.matrixMode == GL_PROJECTION ? s.projection : s.modelView;
    const int limit = s.matrixMode == GL_PROJECTION ? kProjectionDepth : kModelViewDepth;
    if (depth + 1 >= limit) return record(GL_STACK_OVERFLOW);
    stack[depth + 1] = stack[depth];
    ++depth;
}

void glPopMatrix() {
    int& depth = s.matrixMode == GL_PROJECTION ? s.projectionTop : s.modelViewTop;
    if (depth == 0) return record(GL_STACK_UNDERFLOW);
    flush();
    --depth;
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    flush();
    float* m = top().m;
    m[12] = m[0] * x + m[4] * y + m[8] * z + m[12];
    m[13] = m[1] * x + m[5] * y + m[9] * z + m[13];
    m[14] = m[2] * x + m[6] * y + m[10] * z + m[14];
    m[15] = m[3] * x + m[7] * y + m[11] * z + m[15];
}

void glScalef(GLfloat x, GLfloat y, GLfloat z) {
    flush();
    float* m = top().m;
    for (int row = 0; row < 4; ++row) {
        m[row] *= x;
        m[4 + row] *= y;
        m[8 + row] *= z;
    }
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar) {
    flush();
    const float l = float(left), r = float(right), b = float(bottom), t = float(top), n = float(zNear),
                f = float(zFar);
    if (l == r || b == t || n == f) return record(GL_INVALID_VALUE);
    Matrix o = kIdentity;
    o.m[0] = 2.0f / (r - l);
    o.m[12] = -(r + l) / (r - l);
    o.m[5] = 2.0f / (t - b);
    o.m[13] = -(t + b) / (t - b);
    o.m[10] = -2.0f / (f - n);
    o.m[14] = -(f + n) / (f - n);
    multiplyTop(o);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    // Built in double, handed over as floats, as GLU and the GL do between them.
    const double radians = fovy / 2 * 3.14159265358979323846 / 180;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    if (deltaZ == 0 || sine == 0 || aspect == 0) return;
    const double cotangent = std::cos(radians) / sine;
    flush();
    Matrix p = kIdentity;
    p.m[0] = float(cotangent / aspect);
    p.m[5] = float(cotangent);
    p.m[10] = float(-(zFar + zNear) / deltaZ);
    p.m[11] = -1.0f;
    p.m[14] = float(-2 * zNear * zFar / deltaZ);
    p.m[15] = 0.0f;
    multiplyTop(p);
}

namespace {
void normalise3(float v[3]) {
    const float r = float(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]));
    if (r == 0.0f) return;
    v[0] /= r;
    v[1] /= r;
    v[2] /= r;
}

void cross3(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}
}  // namespace

void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY, GLdouble centerZ,
               GLdouble upX, GLdouble upY, GLdouble upZ) {
    float forward[3] = {float(centerX - eyeX), float(centerY - eyeY), float(centerZ - eyeZ)};
    float up[3] = {float(upX), float(upY), float(upZ)};
    float side[3];
    normalise3(forward);
    cross3(forward, up, side);
    normalise3(side);
    cross3(side, forward, up);
    Matrix m = kIdentity;
    m.m[0] = side[0];
    m.m[4] = side[1];
    m.m[8] = side[2];
    m.m[1] = up[0];
    m.m[5] = up[1];
    m.m[9] = up[2];
    m.m[2] = -forward[0];
    m.m[6] = -forward[1];
    m.m[10] = -forward[2];
    flush();
    multiplyTop(m);
    glTranslatef(float(-eyeX), float(-eyeY), float(-eyeZ));
}

// --- State ------------------------------------------------------------------------------------

void glEnable(GLenum cap) { setCap(cap, true); }
void glDisable(GLenum cap) { setCap(cap, false); }

void glLightfv(GLenum light, GLenum name, const GLfloat* params) {
    if (!isLight(light)) return record(GL_INVALID_ENUM);
    if (light != GL_LIGHT0) return;  // never drawn with
    flush();
    switch (name) {
        case GL_AMBIENT: std::memcpy(s.lightAmbient, params, sizeof s.lightAmbient); break;
        case GL_DIFFUSE: std::memcpy(s.lightDiffuse, params, sizeof s.lightDiffuse); break;
        case GL_SPECULAR: break;  // the material's specular is black: it never shows
        case GL_POSITION: {
            // Taken into eye space by the model-view matrix of the moment.
            const float* m = s.modelView[s.modelViewTop].m;
            for (int row = 0; row < 4; ++row) {
                s.lightPosition[row] =
                    m[row] * params[0] + m[4 + row] * params[1] + m[8 + row] * params[2] + m[12 + row] * params[3];
            }
            break;
        }
        default: record(GL_INVALID_ENUM);
    }
}

void glBlendFunc(GLenum src, GLenum dst) {
    flush();
    emscripten_glBlendFunc(src, dst);
}

void glDepthFunc(GLenum func) {
    flush();
    emscripten_glDepthFunc(func);
}

void glDepthMask(GLboolean flag) {
    flush();
    emscripten_glDepthMask(flag);
}

void glShadeModel(GLenum mode) {
    if (mode != GL_SMOOTH) record(GL_INVALID_ENUM);
}

void glHint(GLenum, GLenum) {}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    flush();
    emscripten_glViewport(x, y, width, height);
}

void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) { emscripten_glClearColor(r, g, b, a); }

void glClearDepth(GLclampd depth) { emscripten_glClearDepthf(float(depth < 0.0 ? 0.0 : depth > 1.0 ? 1.0 : depth)); }

void glClearStencil(GLint value) { emscripten_glClearStencil(value); }

void glClear(GLbitfield mask) {
    flush();
    emscripten_glClear(mask);
}

void glFlush() {
    flush();
    emscripten_glFlush();
}

void glFinish() {
    flush();
    // The browser's finish returns before its GPU process has drawn; reading a pixel waits.
    emscripten_glFinish();
    unsigned char pixel[4];
    emscripten_glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
}

GLenum glGetError() {
    const GLenum own = s.error;
    s.error = GL_NO_ERROR;
    const GLenum webgl = emscripten_glGetError();
    return own != GL_NO_ERROR ? own : webgl;
}

void glGetIntegerv(GLenum name, GLint* params) { emscripten_glGetIntegerv(name, params); }

void glPixelStorei(GLenum name, GLint param) { emscripten_glPixelStorei(name, param); }

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, GLvoid* pixels) {
    flush();
    emscripten_glReadPixels(x, y, width, height, format, type, pixels);
}

// --- Textures ---------------------------------------------------------------------------------

void glGenTextures(GLsizei n, GLuint* textures) {
    emscripten_glGenTextures(n, textures);
    for (GLsizei i = 0; i < n; ++i) {
        if (textures[i] >= s.textureHasImage.size()) s.textureHasImage.resize(textures[i] + 1, false);
    }
}

void glDeleteTextures(GLsizei n, const GLuint* textures) {
    flush();
    for (GLsizei i = 0; i < n; ++i) {
        if (textures[i] < s.textureHasImage.size()) s.textureHasImage[textures[i]] = false;
    }
    emscripten_glDeleteTextures(n, textures);
}

void glBindTexture(GLenum target, GLuint texture) {
    if (target != GL_TEXTURE_2D) return record(GL_INVALID_ENUM);
    if (texture == s.boundTexture) return;
    flush();
    s.boundTexture = texture;
    emscripten_glBindTexture(target, texture);
}

void glTexParameteri(GLenum target, GLenum name, GLint param) {
    // With nearest sampling, clamping to [0, 1] never reaches the border: it is clamp-to-edge.
    if (param == GL_CLAMP) param = GLint(kClampToEdge);
    emscripten_glTexParameteri(target, name, param);
}

void glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const GLvoid* pixels) {
    flush();
    emscripten_glTexImage2D(target, level, internalFormat, width, height, border, format, type, pixels);
    if (level == 0 && s.boundTexture < s.textureHasImage.size()) s.textureHasImage[s.boundTexture] = true;
}
