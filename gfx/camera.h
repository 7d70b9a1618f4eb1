// The one viewpoint of the program: placed once by the knot track scene, applied every frame.
#pragma once

#include "gfx/vec3.h"

class Camera {
public:
    Camera() = default;
    virtual ~Camera() = default;
    Camera(const Camera&) = default;
    Camera& operator=(const Camera&) = default;

    // gluLookAt from eye towards eye + direction, multiplied onto the current matrix.
    void apply() const;
    // eye = p, direction = -p: looks at the origin. up and target stay as they are.
    void placeLookingAtOrigin(Vec3 p);

    Vec3 eye{0.0f, 0.0f, 0.0f};
    Vec3 direction{0.0f, 0.0f, -1.0f};
    Vec3 up{0.0f, 1.0f, 0.0f};
    Vec3 target{0.0f, 0.0f, 0.0f};  // camera-facing quads measure the eye from here
};
