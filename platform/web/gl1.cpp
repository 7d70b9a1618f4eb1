// The OpenGL 1.1 subset over WebGL 2: one shader does what the fixed-function pipeline did for
// this show (per-vertex lighting of one light with colour material, texture modulation), and
// immediate-mode vertices collect in one array that is drawn whenever a state change or a
// clear needs the GL to catch up, so a run of quads or bolts between two state changes is one
// draw. The matrices are multiplied in single precision in the order the desktop GL does it,
// and GLU's perspective and look-at are built exactly as GLU builds them, so the vertices land
// where they land on the desktop.
#include "platform/web/gl1.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

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

namespace {

constexpr GLenum kFloat = 0x1406;
constexpr GLenum kArrayBuffer = 0x8892;
constexpr GLenum kStreamDraw = 0x88E0;
constexpr GLenum kFragmentShader = 0x8B30;
constexpr GLenum kVertexShader = 0x8B31;
constexpr GLenum kCompileStatus = 0x8B81;
constexpr GLenum kLinkStatus = 0x8B82;
constexpr GLenum kClampToEdge = 0x812F;

const char* const kVertexSource = R"(#version 300 es
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec4 aColour;
layout(location = 2) in vec3 aNormal;
layout(location = 3) in vec2 aTexCoord;
uniform mat4 uModelViewProjection;
uniform mat4 uModelView;
uniform mat3 uNormalMatrix;
uniform int uLighting;       // 0 off, 1 on without the light, 2 on with it
uniform int uColourMaterial;
uniform int uNormalize;
uniform vec4 uLightPosition; // in eye space
uniform vec4 uLightAmbient;
uniform vec4 uLightDiffuse;
uniform float uPointSize;
out vec4 vColour;
out vec2 vTexCoord;
void main() {
    vec4 position = vec4(aPosition, 1.0);
    gl_Position = uModelViewProjection * position;
    gl_PointSize = uPointSize;
    vec4 colour = aColour;
    if (uLighting != 0) {
        // The default material, unless colour material hands it the current colour; its
        // specular is black, so only the ambient and diffuse terms remain.
        vec4 ambient = uColourMaterial != 0 ? aColour : vec4(0.2, 0.2, 0.2, 1.0);
        vec4 diffuse = uColourMaterial != 0 ? aColour : vec4(0.8, 0.8, 0.8, 1.0);
        vec3 lit = vec3(0.2) * ambient.rgb;
        if (uLighting == 2) {
            vec3 normal = uNormalMatrix * aNormal;
            if (uNormalize != 0) normal = normalize(normal);
            vec4 eye = uModelView * position;
            vec3 toLight = uLightPosition.w == 0.0 ? uLightPosition.xyz : uLightPosition.xyz - eye.xyz;
            float facing = max(dot(normal, normalize(toLight)), 0.0);
            lit += uLightAmbient.rgb * ambient.rgb + facing * uLightDiffuse.rgb * diffuse.rgb;
        }
        colour = vec4(lit, diffuse.a);
    }
    vColour = clamp(colour, 0.0, 1.0);
    vTexCoord = aTexCoord;
}
)";

const char* const kFragmentSource = R"(#version 300 es
precision highp float;
in vec4 vColour;
in vec2 vTexCoord;
uniform int uTexturing;
uniform sampler2D uTexture;
out vec4 fragColour;
void main() {
    fragColour = uTexturing != 0 ? vColour * texture(uTexture, vTexCoord) : vColour;
}
)";

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

// product = a × b, each element summed left to right as the desktop GL does.
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

// The inverse transpose of the upper 3 × 3, which carries normals into eye space.
void normalMatrix(const Matrix& mv, float out[9]) {
    const float* m = mv.m;
    const float a = m[0], b = m[4], c = m[8], d = m[1], e = m[5], f = m[9], g = m[2], h = m[6], i = m[10];
    const float c00 = e * i - f * h, c01 = f * g - d * i, c02 = d * h - e * g;
    const float det = a * c00 + b * c01 + c * c02;
    const float s = det != 0.0f ? 1.0f / det : 0.0f;
    // Column-major: column j holds row j of the inverse, which is the cofactor column j.
    out[0] = c00 * s;
    out[1] = (c * h - b * i) * s;
    out[2] = (b * f - c * e) * s;
    out[3] = c01 * s;
    out[4] = (a * i - c * g) * s;
    out[5] = (c * d - a * f) * s;
    out[6] = c02 * s;
    out[7] = (b * g - a * h) * s;
    out[8] = (a * e - b * d) * s;
}

struct Uniforms {
    GLint modelViewProjection, modelView, normalMatrix, lighting, colourMaterial, normalize, lightPosition,
        lightAmbient, lightDiffuse, pointSize, texturing, texture;
};

struct State {
    bool ready = false;
    GLuint program = 0;
    GLuint buffer = 0;
    Uniforms u{};

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

State s;

void record(GLenum error) {
    if (s.error == GL_NO_ERROR) s.error = error;
}

Matrix& top() { return s.matrixMode == GL_PROJECTION ? s.projection[s.projectionTop] : s.modelView[s.modelViewTop]; }

void multiplyTop(const Matrix& by) { top() = multiply(top(), by); }

// Draws what has collected, with the state it was specified under.
void flush() {
    if (s.pending.empty() || !s.ready) {
        s.pending.clear();
        return;
    }
    const Matrix& mv = s.modelView[s.modelViewTop];
    const Matrix mvp = multiply(s.projection[s.projectionTop], mv);
    float normals[9];
    normalMatrix(mv, normals);
    emscripten_glUniformMatrix4fv(s.u.modelViewProjection, 1, GL_FALSE, mvp.m);
    emscripten_glUniformMatrix4fv(s.u.modelView, 1, GL_FALSE, mv.m);
    emscripten_glUniformMatrix3fv(s.u.normalMatrix, 1, GL_FALSE, normals);
    emscripten_glUniform1i(s.u.lighting, !s.lighting ? 0 : s.light0 ? 2 : 1);
    emscripten_glUniform1i(s.u.colourMaterial, s.colourMaterial ? 1 : 0);
    emscripten_glUniform1i(s.u.normalize, s.normalize ? 1 : 0);
    emscripten_glUniform4fv(s.u.lightPosition, 1, s.lightPosition);
    emscripten_glUniform4fv(s.u.lightAmbient, 1, s.lightAmbient);
    emscripten_glUniform4fv(s.u.lightDiffuse, 1, s.lightDiffuse);
    emscripten_glUniform1f(s.u.pointSize, s.pointSize);
    const bool textured = s.texture2D && s.boundTexture < s.textureHasImage.size() && s.textureHasImage[s.boundTexture];
    emscripten_glUniform1i(s.u.texturing, textured ? 1 : 0);
    emscripten_glBufferData(kArrayBuffer, long(s.pending.size() * sizeof(Vertex)), s.pending.data(), kStreamDraw);
    emscripten_glDrawArrays(s.pendingMode, 0, GLsizei(s.pending.size()));
    s.pending.clear();
}

GLuint compile(GLenum type, const char* source) {
    const GLuint shader = emscripten_glCreateShader(type);
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    GLint ok = 0;
    emscripten_glGetShaderiv(shader, kCompileStatus, &ok);
    if (ok == 0) {
        char log[512] = "";
        emscripten_glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        std::fprintf(stderr, "veldrin: the GL layer's shader does not compile: %s\n", log);
    }
    return shader;
}

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
    s.pending.reserve(16384);
    s.building.reserve(1024);

    s.program = emscripten_glCreateProgram();
    emscripten_glAttachShader(s.program, compile(kVertexShader, kVertexSource));
    emscripten_glAttachShader(s.program, compile(kFragmentShader, kFragmentSource));
    emscripten_glLinkProgram(s.program);
    GLint linked = 0;
    emscripten_glGetProgramiv(s.program, kLinkStatus, &linked);
    if (linked == 0) {
        std::fprintf(stderr, "veldrin: the GL layer's shader does not link\n");
        return false;
    }
    emscripten_glUseProgram(s.program);
    const auto at = [](const char* name) { return emscripten_glGetUniformLocation(s.program, name); };
    s.u = Uniforms{at("uModelViewProjection"), at("uModelView"), at("uNormalMatrix"), at("uLighting"),
                   at("uColourMaterial"), at("uNormalize"), at("uLightPosition"), at("uLightAmbient"),
                   at("uLightDiffuse"), at("uPointSize"), at("uTexturing"), at("uTexture")};
    emscripten_glUniform1i(s.u.texture, 0);

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
    s.ready = true;
    return true;
}

// --- Immediate mode ---------------------------------------------------------------------------

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
