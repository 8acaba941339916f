// The camera's projection and view transforms, built with the library's
// transform functions in the camera's own transform and returned by value.

#include <cmath>

#include "camera/camera.h"
#include "engine/zeb.h"

Frustum frustum_for(double fov, double width, double height) {
    // Half the tangent of half the field of view, narrowed by the aspect.
    double t = std::tan(fov / 360 * PI) * 0.5;
    double b = t / (width / height);
    // Rounded to float before negation, as the library takes floats.
    float top = static_cast<float>(t), bottom = static_cast<float>(b);
    // Both horizontal bounds negative and both vertical ones positive: an
    // off-axis window of t - b by t - b, left of and above the line of sight.
    return {-top, top, NEAR_PLANE, -bottom, bottom, static_cast<float>(far_plane)};
}

ALLEGRO_TRANSFORM Camera::projection() {
    return projection_for(al_get_display_width(display), al_get_display_height(display));
}

ALLEGRO_TRANSFORM Camera::projection_for(double width, double height) {
    Frustum f = frustum_for(fov, width, height);
    al_identity_transform(&transform);
    al_perspective_transform(&transform, f.left, f.top, f.near_z, f.right, f.bottom, f.far_z);
    return transform;
}

ALLEGRO_TRANSFORM Camera::view() {
    al_identity_transform(&transform);
    // Each call appends its step, so a world point is turned by the pitch,
    // then by the yaw, then shifted by the negated position.
    al_rotate_transform_3d(&transform, -1, 0, 0, static_cast<float>(deg_to_rad(pitch)));
    al_rotate_transform_3d(&transform, 0, -1, 0, static_cast<float>(deg_to_rad(yaw)));
    al_translate_transform_3d(&transform, -static_cast<float>(x), -static_cast<float>(y),
                              -static_cast<float>(z));
    return transform;
}
