// Camera: the look-at transform of the demo's fixed viewpoint.
#include "gfx/camera.h"

#include "platform/gl.h"

void Camera::apply() const {
    const Vec3 centre = Vec3::add(eye, direction);
    gluLookAt(eye.x, eye.y, eye.z, centre.x, centre.y, centre.z, up.x, up.y, up.z);
}

void Camera::placeLookingAtOrigin(Vec3 p) {
    eye = p;
    direction = Vec3::scale(p, -1.0f);
}
