// Turning points in space, worked out independently of the library's
// transforms, to check what the camera builds.
#pragma once

#include <cmath>

struct Vec {
    double x, y, z;
};

// p turned right-handedly about the unit axis a by `degrees` (Rodrigues).
inline Vec rotate(Vec p, Vec a, double degrees) {
    double r = degrees * std::acos(-1.0) / 180, c = std::cos(r), s = std::sin(r);
    double dot = a.x * p.x + a.y * p.y + a.z * p.z;
    Vec cross{a.y * p.z - a.z * p.y, a.z * p.x - a.x * p.z, a.x * p.y - a.y * p.x};
    return {p.x * c + cross.x * s + a.x * dot * (1 - c), p.y * c + cross.y * s + a.y * dot * (1 - c),
            p.z * c + cross.z * s + a.z * dot * (1 - c)};
}
