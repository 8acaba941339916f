// The viewer's camera: where it stands and looks (world units, degrees), mouse
// look by re-centring the pointer, six moves, and the projection and view
// transforms it builds for the library.
#pragma once

#include <allegro5/allegro.h>

// The camera's own pi, the double nearest 3.14159265358979: slightly below
// the true value, so turns and moves are off by a hair (cos 90 is 1.6e-15).
constexpr double PI = 3.14159265358979;

extern double mouse_sensitivity;  // scales mouse look; 1.0
extern double far_plane;          // farthest distance drawn, world units; 1337.0
constexpr float NEAR_PLANE = 0.5f;  // nearest distance drawn, world units

// Degrees of turn per pixel of pointer offset, before mouse_sensitivity.
constexpr double LOOK_DEGREES_PER_PIXEL = 0.125;

// A heading in degrees brought into 0..360 whatever its size: above 360 into
// (0, 360], 360 itself kept; below 0 into [0, 360). Leaves 0..360 alone.
double wrap_yaw(double degrees);

// The six bounds handed to al_perspective_transform, in its parameter order.
struct Frustum {
    float left, top, near_z, right, bottom, far_z;
};

// The off-axis frustum for a field of view (degrees) on a display of
// width x height pixels: left -t, top t, right -b, bottom b with
// t = tan(fov / 2) / 2 and b = t / (width / height).
Frustum frustum_for(double fov, double width, double height);

class Camera {
public:
    double fov;                   // field of view, degrees, 1 to 179 by the setters
    ALLEGRO_TRANSFORM transform;  // the transform built last
    double x, y, z;               // position, world units; y is up
    double yaw;                   // heading, degrees
    double pitch;                 // elevation, degrees, -90 to 90 by mouse look

    Camera();  // fov 90, at the origin, yaw and pitch 0, transform identity

    double deg_to_rad(double degrees) const;  // degrees x (PI / 180)
    double rad_to_deg(double radians) const;  // radians x (180 / PI)

    void set_fov(double degrees);              // clamped to 1..179; NaN gives 1
    void set_fov_for_display(double degrees);  // degrees / (width / height), clamped as set_fov

    // One frame of mouse look: poll, turn by the pointer's offset from the
    // display centre, re-centre the pointer.
    void update();
    // The turn of update for a pointer offset in pixels (positive left of and
    // above the centre): yaw wrapped into 0..360 (wrap_yaw), pitch clamped to -90..90.
    void look(int offset_x, int offset_y);

    // Moves by amount x scale world units. "Along" follows the heading; "across"
    // swaps its sine and cosine, mirroring the heading about the 45-degree line.
    void push_along_yaw(double amount, double scale);
    void pull_along_yaw(double amount, double scale);
    void push_across_yaw(double amount, double scale);
    void pull_across_yaw(double amount, double scale);
    void raise(double amount, double scale);
    void lower(double amount, double scale);

    // Perspective projection for the current display; also left in transform.
    ALLEGRO_TRANSFORM projection();
    // The same for a display of width x height pixels.
    ALLEGRO_TRANSFORM projection_for(double width, double height);
    // View transform: pitch, then yaw, then the negated position; also left in transform.
    ALLEGRO_TRANSFORM view();
};
