// The camera record: field of view, mouse look and the six moves.

#include "camera/camera.h"

#include <cmath>

#include "engine/zeb.h"

double mouse_sensitivity = 1.0;
double far_plane = 1337.0;

namespace {

// Keeps a field of view within 1..179 degrees; NaN fails both tests and gives 1.
double clamp_fov(double degrees) {
    if (degrees > 179) return 179;
    if (degrees > 1) return degrees;
    return 1;
}

// Moves `camera` by `distance` world units: along the heading (z by its
// cosine, x by its sine) or, `across`, with the sine and cosine swapped. A
// negated distance moves back by exactly the same amount.
void move_on_heading(Camera& camera, double distance, bool across) {
    double heading = camera.deg_to_rad(camera.yaw);
    double along_z = std::cos(heading), along_x = std::sin(heading);
    camera.z += distance * (across ? along_x : along_z);
    camera.x += distance * (across ? along_z : along_x);
}

}  // namespace

double wrap_yaw(double degrees) {
    // fmod is exact, so a turn of less than a circle gives exactly the single
    // step of 360 it always took: (360, 720] less 360, (-360, 0) plus 360.
    if (degrees > 360) {
        const double turned = std::fmod(degrees, 360);
        return turned == 0 ? 360 : turned;
    }
    if (degrees < 0) {
        const double turned = std::fmod(degrees, 360);
        return turned < 0 ? turned + 360 : 0;  // -0 from a whole number of turns is 0
    }
    return degrees;
}

Camera::Camera() : fov(90), x(0), y(0), z(0), yaw(0), pitch(0) { al_identity_transform(&transform); }

double Camera::deg_to_rad(double degrees) const { return degrees * (PI / 180); }
double Camera::rad_to_deg(double radians) const { return radians * (180 / PI); }

void Camera::set_fov(double degrees) { fov = clamp_fov(degrees); }

void Camera::set_fov_for_display(double degrees) {
    double aspect = static_cast<double>(al_get_display_width(display)) / al_get_display_height(display);
    fov = clamp_fov(degrees / aspect);
}

void Camera::update() {
    input_poll();
    look(mouse_offset_x(), mouse_offset_y());
    mouse_center();
}

void Camera::look(int offset_x, int offset_y) {
    yaw += offset_x * (LOOK_DEGREES_PER_PIXEL * mouse_sensitivity);
    pitch += offset_y * (LOOK_DEGREES_PER_PIXEL * mouse_sensitivity);
    yaw = wrap_yaw(yaw);
    if (pitch < -90)
        pitch = -90;
    else if (pitch > 90)
        pitch = 90;
}

void Camera::push_along_yaw(double amount, double scale) { move_on_heading(*this, amount * scale, false); }
void Camera::pull_along_yaw(double amount, double scale) { move_on_heading(*this, -(amount * scale), false); }
void Camera::push_across_yaw(double amount, double scale) { move_on_heading(*this, amount * scale, true); }
void Camera::pull_across_yaw(double amount, double scale) { move_on_heading(*this, -(amount * scale), true); }

void Camera::raise(double amount, double scale) { y += amount * scale; }
void Camera::lower(double amount, double scale) { y -= amount * scale; }
