// The GL 1 layer's shaders: what the fixed-function pipeline did for this show (per-vertex
// lighting of one light with colour material, texture modulation), one program per kind of draw,
// and the uniforms that hand it the layer's state for each draw.
#include <cstdio>

#include "platform/web/gl1_internal.h"

namespace gl1 {
namespace {

constexpr GLenum kFragmentShader = 0x8B30;
constexpr GLenum kVertexShader = 0x8B31;
constexpr GLenum kCompileStatus = 0x8B81;
constexpr GLenum kLinkStatus = 0x8B82;

// One program per kind of draw: lit or not, textured or not. The sources are compiled with the
// kind's switches defined before them, so an unlit or untextured draw does not run the lighting
// or the texture lookup at all (a general shader's dead branches cost a software renderer on
// every vertex and fragment). Lit draws keep the one general vertex shader, switched by uniforms:
// a lean copy of it for each lit state let the renderer's compiler round one pixel of a lit face
// differently, and the lit geometry is only a few thousand vertices.
const char* const kPlainVertexSource = R"(
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec4 aColour;
layout(location = 3) in vec2 aTexCoord;
uniform mat4 uModelViewProjection;
uniform float uPointSize;
out vec4 vColour;
#if TEXTURING
out vec2 vTexCoord;
#endif
void main() {
    vec4 position = vec4(aPosition, 1.0);
    gl_Position = uModelViewProjection * position;
    gl_PointSize = uPointSize;
    vec4 colour = aColour;
    vColour = clamp(colour, 0.0, 1.0);
#if TEXTURING
    vTexCoord = aTexCoord;
#endif
}
)";

const char* const kLitVertexSource = R"(
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

const char* const kFragmentSource = R"(
precision highp float;
in vec4 vColour;
#if TEXTURING
in vec2 vTexCoord;
uniform sampler2D uTexture;
#endif
out vec4 fragColour;
void main() {
#if TEXTURING
    fragColour = vColour * texture(uTexture, vTexCoord);
#else
    fragColour = vColour;
#endif
}
)";

struct Kind {
    bool lit = false;
    bool texturing = false;

    int index() const { return int(lit) * 2 + int(texturing); }
};
constexpr int kKinds = 4;

struct Uniforms {
    GLint modelViewProjection, modelView, normalMatrix, lighting, colourMaterial, normalize, lightPosition,
        lightAmbient, lightDiffuse, pointSize, texture;
};

struct Program {
    GLuint name = 0;
    bool failed = false;
    Uniforms u{};
};

Program programs[kKinds];
int inUse = -1;

Kind currentKind() {
    Kind kind;
    kind.lit = s.lighting;
    kind.texturing = s.texture2D && s.boundTexture < s.textureHasImage.size() && s.textureHasImage[s.boundTexture];
    return kind;
}

// The inverse transpose of the upper 3 × 3, which carries normals into eye space.
void normalMatrix(const Matrix& mv, float out[9]) {
    const float* m = mv.m;
    const float a = m[0], b = m[4], c = m[8], d = m[1], e = m[5], f = m[9], g = m[2], h = m[6], i = m[10];
    const float c00 = e * i - f * h, c01 = f * g - d * i, c02 = d * h - e * g;
    const float det = a * c00 + b * c01 + c * c02;
    const float inv = det != 0.0f ? 1.0f / det : 0.0f;
    // Column-major: column j holds row j of the inverse, which is the cofactor column j.
    out[0] = c00 * inv;
    out[1] = (c * h - b * i) * inv;
    out[2] = (b * f - c * e) * inv;
    out[3] = c01 * inv;
    out[4] = (a * i - c * g) * inv;
    out[5] = (c * d - a * f) * inv;
    out[6] = c02 * inv;
    out[7] = (b * g - a * h) * inv;
    out[8] = (a * e - b * d) * inv;
}

GLuint compile(GLenum type, const Kind& kind, const char* source) {
    const char* const defines =
        kind.texturing ? "#version 300 es\n#define TEXTURING 1\n" : "#version 300 es\n#define TEXTURING 0\n";
    const char* const parts[2] = {defines, source};
    const GLuint shader = emscripten_glCreateShader(type);
    emscripten_glShaderSource(shader, 2, parts, nullptr);
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

// The kind's program, made on first use; null when it does not build.
const Program* programFor(const Kind& kind) {
    Program& p = programs[kind.index()];
    if (p.name != 0 || p.failed) return p.failed ? nullptr : &p;
    p.name = emscripten_glCreateProgram();
    emscripten_glAttachShader(p.name, compile(kVertexShader, kind, kind.lit ? kLitVertexSource : kPlainVertexSource));
    emscripten_glAttachShader(p.name, compile(kFragmentShader, kind, kFragmentSource));
    emscripten_glLinkProgram(p.name);
    GLint linked = 0;
    emscripten_glGetProgramiv(p.name, kLinkStatus, &linked);
    if (linked == 0) {
        std::fprintf(stderr, "veldrin: the GL layer's shader does not link\n");
        p.failed = true;
        return nullptr;
    }
    const auto at = [&](const char* name) { return emscripten_glGetUniformLocation(p.name, name); };
    p.u = Uniforms{at("uModelViewProjection"), at("uModelView"), at("uNormalMatrix"), at("uLighting"),
                   at("uColourMaterial"), at("uNormalize"), at("uLightPosition"), at("uLightAmbient"),
                   at("uLightDiffuse"), at("uPointSize"), at("uTexture")};
    emscripten_glUseProgram(p.name);
    inUse = kind.index();
    if (p.u.texture >= 0) emscripten_glUniform1i(p.u.texture, 0);
    return &p;
}

}  // namespace

// Every context starts without programs; the two kinds that every scene draws with are made
// now, so that a first frame does not wait for them.
bool programsInit() {
    for (Program& p : programs) p = Program{};
    inUse = -1;
    Kind plain;
    Kind textured;
    textured.texturing = true;
    return programFor(plain) != nullptr && programFor(textured) != nullptr;
}

bool programsUpload() {
    const Kind kind = currentKind();
    const Program* p = programFor(kind);
    if (p == nullptr) return false;
    if (inUse != kind.index()) {
        emscripten_glUseProgram(p->name);
        inUse = kind.index();
    }
    const Matrix& mv = s.modelView[s.modelViewTop];
    const Matrix mvp = multiply(s.projection[s.projectionTop], mv);
    emscripten_glUniformMatrix4fv(p->u.modelViewProjection, 1, GL_FALSE, mvp.m);
    emscripten_glUniform1f(p->u.pointSize, s.pointSize);
    if (kind.lit) {
        float normals[9];
        normalMatrix(mv, normals);
        emscripten_glUniformMatrix4fv(p->u.modelView, 1, GL_FALSE, mv.m);
        emscripten_glUniformMatrix3fv(p->u.normalMatrix, 1, GL_FALSE, normals);
        emscripten_glUniform1i(p->u.lighting, s.light0 ? 2 : 1);
        emscripten_glUniform1i(p->u.colourMaterial, s.colourMaterial ? 1 : 0);
        emscripten_glUniform1i(p->u.normalize, s.normalize ? 1 : 0);
        emscripten_glUniform4fv(p->u.lightPosition, 1, s.lightPosition);
        emscripten_glUniform4fv(p->u.lightAmbient, 1, s.lightAmbient);
        emscripten_glUniform4fv(p->u.lightDiffuse, 1, s.lightDiffuse);
    }
    return true;
}

}  // namespace gl1
