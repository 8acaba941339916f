#include "sample_landscape.h"

#include <cmath>

namespace {

// A fixed pseudo-random value in 0..1 for a lattice point.
double lattice(int x, int y, int octave) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(octave) * 2147483647u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return double((h ^ (h >> 16)) & 0xFFFF) / 65535.0;
}

double smooth(double t) { return t * t * (3 - 2 * t); }

// Value noise in 0..1 with lattice points `period` pixels apart.
double value_noise(double x, double y, int period, int octave) {
    double fx = x / period, fy = y / period;
    int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
    double tx = smooth(fx - x0), ty = smooth(fy - y0);
    double top = lattice(x0, y0, octave) * (1 - tx) + lattice(x0 + 1, y0, octave) * tx;
    double bottom = lattice(x0, y0 + 1, octave) * (1 - tx) + lattice(x0 + 1, y0 + 1, octave) * tx;
    return top * (1 - ty) + bottom * ty;
}

// Hills of four scales, 0..1.
double hills(int x, int y) {
    double sum = 0, weight = 0, amplitude = 1;
    int octave = 0;
    for (int period = 96; period >= 12; period /= 2, amplitude *= 0.5, octave++) {
        sum += amplitude * value_noise(x, y, period, octave);
        weight += amplitude;
    }
    return sum / weight;
}

double gauss(double dx, double dy, double sigma) { return std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma)); }

}  // namespace

// Valleys below grey 50 shade darker, the hills reach above the camera's
// grey 156 here and there.
uint8_t sample_level(int column, int row) {
    double level = 255 * std::pow(hills(column, row), 1.6) * 1.9 - 20;
    // The start: the camera stands at pixel (20, 20), grey 156, and first
    // looks up and to the left, over columns 0 to 17 of rows 13 to 20. There
    // the ground is a low basin (grey 132) with a mound (grey 167) at (10, 17)
    // whose crest crosses the first view, blended into the hills around it.
    double mound = 132 + 35 * gauss(column - 10.0, row - 17.0, 5.0);
    double blend = gauss(column - 12.0, row - 18.0, 12.0);
    level = level * (1 - blend) + mound * blend;
    if (level < 0) level = 0;
    if (level > 255) level = 255;
    return uint8_t(std::lround(level));
}
