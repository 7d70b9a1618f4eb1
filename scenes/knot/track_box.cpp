// Box mesh and track box.
#include "scenes/knot/track_box.h"

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "platform/gl.h"
#include "timeline/demo.h"

const int BoxMesh::kTriangles[12][3] = {
    {0, 3, 2}, {0, 2, 1}, {1, 2, 5}, {1, 5, 4}, {4, 5, 6}, {4, 6, 7},
    {7, 6, 3}, {7, 3, 0}, {5, 2, 3}, {5, 3, 6}, {0, 7, 4}, {0, 4, 1},
};

const int BoxMesh::kTriangleTexCoords[12][3] = {
    {0, 3, 2}, {0, 2, 1}, {1, 0, 3}, {1, 3, 2}, {0, 1, 3}, {1, 3, 2},
    {1, 0, 3}, {1, 3, 2}, {0, 3, 2}, {0, 2, 1}, {1, 0, 3}, {1, 3, 2},
};

const int BoxMesh::kFaces[6][4] = {
    {1, 0, 3, 2}, {1, 2, 5, 4}, {4, 5, 6, 7}, {2, 3, 6, 5}, {1, 0, 7, 4}, {7, 6, 3, 0},
};

namespace {
// The eight vertices of an axis-aligned box with its corner at the origin.
void setCube(Vec3* v, float sx, float sy, float sz) {
    v[0] = {0.0f, 0.0f, 0.0f};
    v[1] = {sx, 0.0f, 0.0f};
    v[2] = {sx, sy, 0.0f};
    v[3] = {0.0f, sy, 0.0f};
    v[4] = {sx, 0.0f, sz};
    v[5] = {sx, sy, sz};
    v[6] = {0.0f, sy, sz};
    v[7] = {0.0f, 0.0f, sz};
}

// Orbit lengths start from these; a random 0..29 (30 for the top draw) is added.
constexpr int kOrbitBase[8] = {50, 60, 50, 80, 10, 50, 60, 150};
}  // namespace

void BoxMesh::init(Vec3 centre, Vec3 size) {
    diagonal = size;
    base = Vec3::subtract(centre, Vec3::scale(diagonal, 0.5f));
    setCube(vertices, size.x, size.y, size.z);
    const TexCoord uv[8] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}, {0, 1}, {1, 1}, {0, 1}};
    for (int k = 0; k < 8; ++k) texCoords[k] = uv[k];
    computeNormals();
}

void BoxMesh::place(Vec3 p) { base = Vec3::subtract(p, Vec3::scale(diagonal, 0.5f)); }

void BoxMesh::rotate(float degrees, Vec3 axis) {
    // One matrix for all nine: rotateAboutAxis would rebuild the same one for each.
    const AxisRotation turn = AxisRotation::make(degrees, axis);
    for (Vec3& v : vertices) v = turn.apply(v);
    diagonal = turn.apply(diagonal);
    computeNormals();
}

void BoxMesh::computeNormals() {
    for (int t = 0; t < 12; ++t) {
        const Vec3& a = vertices[kTriangles[t][0]];
        normals[t] = cross(Vec3::subtract(vertices[kTriangles[t][1]], a), Vec3::subtract(vertices[kTriangles[t][2]], a));
    }
}

void BoxMesh::draw() const {
    glColor4f(colour.r, colour.g, colour.b, colour.a);
    glBegin(GL_TRIANGLES);
    for (int t = 0; t < 12; ++t) {
        glNormal3fv(&normals[t].x);
        for (int c = 0; c < 3; ++c) {
            const TexCoord& uv = texCoords[kTriangleTexCoords[t][c]];
            const Vec3 p = Vec3::add(base, vertices[kTriangles[t][c]]);
            glTexCoord2f(uv.u, uv.v);
            glVertex3f(p.x, p.y, p.z);
        }
    }
    glEnd();
}

void BoxMesh::drawCorners(float pointSize) const {
    glColor4f(colour.r, colour.g, colour.b, colour.a);
    glPointSize(pointSize);
    glBegin(GL_POINTS);
    for (const auto& face : kFaces) {
        const Vec3 p = Vec3::add(base, vertices[face[0]]);
        glVertex3f(p.x, p.y, p.z);
    }
    glEnd();
    glPointSize(1.0f);
}

void TrackBox::saveRest() {
    if (restSaved == 0) {
        for (int k = 0; k < 8; ++k) restVertices[k] = mesh.vertices[k];
        restDiagonal = mesh.diagonal;
        restColour = mesh.colour;
        restSaved = 1;
    }
    for (float& phase : orbitPhase) phase = 0.0f;
}

void TrackBox::restoreRest() {
    for (int k = 0; k < 8; ++k) mesh.vertices[k] = restVertices[k];
    mesh.diagonal = restDiagonal;
    mesh.colour = restColour;
}

void TrackBox::buildOrbits(float scale) {
    for (int k = 0; k < 8; ++k) {
        const int n = lcgRand() * 30 / 32767 + kOrbitBase[k];
        orbits[k].init(scale, n, 2);
    }
}

void TrackBox::followOrbits() {
    const float dt = demo.dt;
    for (int k = 0; k < 8; ++k) {
        const KnotPath& orbit = orbits[k];
        // An orbit that was never built has nothing to follow; the vertex stays where it is.
        if (orbit.points.empty()) continue;
        const int j = pathIndex(orbitPhase[k]);
        if (std::size_t(j) < orbit.points.size()) {
            mesh.vertices[k] = Vec3::add(orbit.points[std::size_t(j)], restVertices[k]);
            orbitPhase[k] += dt * 1.5f;
        } else {
            // Point 0 and the last point coincide, so starting over shows no jump.
            orbitPhase[k] = 0.0f;
            mesh.vertices[k] = Vec3::add(orbit.points[0], restVertices[k]);
        }
    }
}

void TrackBox::pulse() {
    const float dt = demo.dt;
    if (pulseAngle < dt + 360.0f) {
        pulseAngle += dt;
    } else {
        pulseAngle = 0.0f;
    }

    // About one frame in two hundred starts a burst; a draw during a burst changes nothing.
    pulseDraw = lcgRand() * 200 / 32767;
    if (pulseDraw == 0) burst = 1;

    const double f = mesh.diagonal.x;
    double e;
    if (burst == 1) {
        if (burstCounter > 0) {
            burstCounter -= 1;
        } else {
            burstCounter = 100;
            burst = 0;
        }
        e = f * 0.01 * burstCounter + f * 0.5;
    } else {
        e = (double(SineTable[sineIndex(pulseAngle)]) * 0.2 + 1.0) * f;
    }

    const float edge = float(e);
    setCube(mesh.vertices, edge, edge, edge);
}
