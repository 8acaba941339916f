#include "reference_mesh.h"

#include <algorithm>
#include <cstdio>

namespace {

int sample(ALLEGRO_BITMAP* image, int column, int row) {
    unsigned char level;
    al_unmap_rgb(al_get_pixel(image, column, row), &level, &level, &level);
    return level;
}

// The corner at column c, row r with sample s: u, v are the corner's pixel position.
TerrainVertex corner(int c, int r, int s) {
    ALLEGRO_COLOR shade = al_map_rgb(0, std::min(s, 50), 0);
    return {float(c - 20), float(s - 156), float(r - 20), float(c), float(r), shade};
}

}  // namespace

void build_reference_mesh(ALLEGRO_BITMAP* image, TerrainVertices& vertices, bool progress) {
    for (int i = 0; i < al_get_bitmap_height(image); i++) {
        for (int j = 0; j < al_get_bitmap_width(image); j++) {
            int h00 = sample(image, j, i), h01 = sample(image, j, i + 1);
            int h10 = sample(image, j + 1, i), h11 = sample(image, j + 1, i + 1);
            vertices.push_back(corner(j, i, h00));
            vertices.push_back(corner(j, i + 1, h01));
            vertices.push_back(corner(j + 1, i, h10));
            vertices.push_back(corner(j, i + 1, h01));
            vertices.push_back(corner(j + 1, i, h10));
            vertices.push_back(corner(j + 1, i + 1, h11));
        }
        if (progress) printf("Creating hmap: scanline %d/%d\n", i, al_get_bitmap_height(image));
    }
}
