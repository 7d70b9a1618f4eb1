// Mesh drawing, the dodecahedron construction and the per-vertex pulse.
#include "scenes/dodeca/mesh.h"

#include <climits>
#include <cmath>

#include "gfx/sine_table.h"
#include "platform/gl.h"

namespace {
constexpr std::size_t kDodecaVertices = 20;
constexpr std::size_t kDodecaFaces = 12;
constexpr std::size_t kPentagon = 5;

bool validIndex(std::int32_t index, std::size_t size) { return index >= 0 && std::size_t(index) < size; }
}  // namespace

void Mesh::allocate(unsigned vertexCount, unsigned normalCount, unsigned faceCount, unsigned cornersPerFace,
                    unsigned texCoordCount) {
    centre = Vec3();
    for (float& c : colour) c = 1.0f;
    vertices.resize(vertexCount);
    restVertices.resize(vertexCount);
    normals.resize(normalCount);
    faces.resize(faceCount);
    for (std::vector<std::int32_t>& face : faces) face.resize(cornersPerFace);
    faceTexCoords.resize(texCoordCount);
}

void Mesh::drawSolid() const {
    glColor4fv(colour);
    for (const std::vector<std::int32_t>& face : faces) {
        // Five corners make a face; a shorter face or texture table draws what it has, and a
        // corner that names no vertex is left out rather than read past the arrays.
        std::size_t corners = face.size() < kPentagon ? face.size() : kPentagon;
        if (faceTexCoords.size() < corners) corners = faceTexCoords.size();
        glBegin(GL_POLYGON);
        for (std::size_t k = 0; k < corners; ++k) {
            const std::int32_t index = face[k];
            if (!validIndex(index, vertices.size()) || !validIndex(index, normals.size())) continue;
            const Vec3& n = normals[std::size_t(index)];
            const Vec3& v = vertices[std::size_t(index)];
            glNormal3fv(&n.x);
            emitTexturedVertex(faceTexCoords[k].u, faceTexCoords[k].v, v.x, v.y, v.z);
        }
        glEnd();
    }
}

void Mesh::drawWire(float lineWidth) const {
    glLineWidth(lineWidth);
    glColor4fv(colour);
    for (const std::vector<std::int32_t>& face : faces) {
        if (face.size() < kPentagon) continue;
        glBegin(GL_LINES);
        for (std::size_t k = 0; k < kPentagon; ++k) {
            const std::int32_t from = face[k];
            const std::int32_t to = face[(k + 1) % kPentagon];
            if (!validIndex(from, vertices.size()) || !validIndex(to, vertices.size())) continue;
            const Vec3& a = vertices[std::size_t(from)];
            const Vec3& b = vertices[std::size_t(to)];
            glVertex3fv(&a.x);
            glVertex3fv(&b.x);
        }
        glEnd();
    }
    glLineWidth(1.0f);
}

void Dodecahedron::build(float edge) {
    if (vertices.size() < kDodecaVertices || restVertices.size() < kDodecaVertices ||
        normals.size() < kDodecaVertices || faces.size() < kDodecaFaces || faceTexCoords.size() < kPentagon) {
        return;
    }
    for (std::size_t f = 0; f < kDodecaFaces; ++f) {
        if (faces[f].size() < kPentagon) return;
    }

    const double pi = std::acos(-1.0);
    const double c18 = std::cos(0.1 * pi), s18 = std::sin(0.1 * pi);
    const double c36 = std::cos(0.2 * pi), s36 = std::sin(0.2 * pi);
    const double c54 = std::cos(0.3 * pi), s54 = std::sin(0.3 * pi);
    const double c72 = std::cos(0.4 * pi);
    const double s = edge;

    // A pentagon of side s, the same pentagon widened so that the slanted faces close, and both
    // turned by 36 degrees for the other half: close to a regular dodecahedron, not exactly.
    const double r = 0.5 * s / c54;
    const double a = s * c72 / c54;
    const double k = (a + r) / r;
    const double h = std::sqrt(r * r - 0.25 * s * s);
    const double d = h * k - h;
    const double e = (c54 + c18) * s;
    const double b = std::sqrt(s * s - a * a);
    const double zMid = (std::sqrt(e * e - d * d) - b) * 0.5;
    const double zTop = zMid + b;

    const double cx = centre.x, cy = centre.y, cz = centre.z;
    const double px[5] = {0.0, r * c18, r * c54, -r * c54, -r * c18};
    const double py[5] = {r, r * s18, -r * s54, -r * s54, r * s18};
    for (std::size_t i = 0; i < 5; ++i) {
        vertices[i] = Vec3(float(cx + px[i]), float(cy + py[i]), float(cz - zTop));
    }
    for (std::size_t i = 5; i < 10; ++i) {
        const Vec3& v = vertices[i - 5];
        vertices[i] = Vec3(float(cx + k * (double(v.x) - cx)), float(cy + k * (double(v.y) - cy)), float(cz - zMid));
    }
    for (std::size_t i = 10; i < 20; ++i) {
        const Vec3& v = vertices[i < 15 ? i - 5 : i - 15];
        const double dx = double(v.x) - cx;
        const double dy = double(v.y) - cy;
        const double z = i < 15 ? cz + zMid : cz + zTop;
        vertices[i] = Vec3(float(cx + dx * c36 - dy * s36), float(cy + dx * s36 + dy * c36), float(z));
    }
    for (std::size_t i = 0; i < kDodecaVertices; ++i) restVertices[i] = vertices[i];

    setFaces();
    computeNormals();

    faceTexCoords[0] = {0.5f, 0.0f};
    faceTexCoords[1] = {float(0.5 + 0.5 * c18), float(0.5 - 0.5 * s18)};
    faceTexCoords[2] = {float(0.5 + 0.5 * c54), float(0.5 + 0.5 * s54)};
    faceTexCoords[3] = {float(0.5 - 0.5 * c54), float(0.5 + 0.5 * s54)};
    faceTexCoords[4] = {float(0.5 - 0.5 * c18), float(0.5 - 0.5 * s18)};
}

void Dodecahedron::setFaces() {
    static const std::int32_t kFaces[kDodecaFaces][kPentagon] = {
        {0, 1, 2, 3, 4},      {0, 5, 11, 6, 1},     {1, 6, 12, 7, 2},     {2, 7, 13, 8, 3},
        {3, 8, 14, 9, 4},     {4, 9, 10, 5, 0},     {15, 16, 11, 5, 10},  {16, 17, 12, 6, 11},
        {17, 18, 13, 7, 12},  {18, 19, 14, 8, 13},  {19, 15, 10, 9, 14},  {19, 18, 17, 16, 15},
    };
    for (std::size_t f = 0; f < kDodecaFaces && f < faces.size(); ++f) {
        for (std::size_t c = 0; c < kPentagon && c < faces[f].size(); ++c) faces[f][c] = kFaces[f][c];
    }
}

void Dodecahedron::computeNormals() {
    for (std::size_t i = 0; i < vertices.size() && i < normals.size(); ++i) {
        const Vec3 n = Vec3::subtract(vertices[i], centre);
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        normals[i] = length == 0.0f ? Vec3(1.0f, 1.0f, 1.0f) : Vec3(n.x / length, n.y / length, n.z / length);
    }
}

void PulsingDodecahedron::init() {
    allocate(kVertices, kVertices, kDodecaFaces, kPentagon, kPentagon);
    counters.assign(kVertices, 0);
    directions.assign(kVertices, 1);
    steps.assign(kVertices, Vec3());
    phaseStep = 18.0f;
}

void PulsingDodecahedron::pulse(std::int32_t period) {
    // The cluster passes 100 to 125. A period below one frame would divide by zero, and a
    // re-armed count of 0 would run below zero and never re-arm: both are kept out.
    const double p = period < 1 ? 1.0 : double(period);
    std::size_t count = vertices.size();
    if (restVertices.size() < count) count = restVertices.size();
    if (counters.size() < count) count = counters.size();
    if (directions.size() < count) count = directions.size();
    if (steps.size() < count) count = steps.size();

    for (std::size_t i = 0; i < count; ++i) {
        if (counters[i] <= 0) {
            const double w = SineTable[sineIndex(phaseStep * float(i + 1))];
            const double frames = p + w * (p * 0.1);
            counters[i] = frames < double(INT_MAX) ? std::int32_t(frames) : INT_MAX;
            const float twoP = float(2.0 * p);
            const Vec3 rest = Vec3::subtract(restVertices[i], centre);
            steps[i] = Vec3(rest.x / twoP, rest.y / twoP, rest.z / twoP);
            directions[i] = directions[i] == 0 ? 1 : 0;
        }
        if (directions[i] == 0) {
            vertices[i] = Vec3::add(vertices[i], steps[i]);
            counters[i] -= 1;
        }
        if (directions[i] == 1) {
            vertices[i] = Vec3::subtract(vertices[i], steps[i]);
            counters[i] -= 1;
        }
    }
}
