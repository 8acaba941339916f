// Builds the terrain mesh. Each pixel is read once from the locked image and
// its height and colour come from tables made once for the 256 samples; the
// whole array is reserved up front and filled while the memory lasts. The
// result is the same, byte for byte, as reading four pixels per cell and
// mapping each vertex colour anew.

#include "terrain/terrain_mesh.h"

#include <algorithm>
#include <cstring>

#include "engine/saturating.h"
#include "engine/console.h"

namespace {

struct SampleTables {
    float height[256];
    ALLEGRO_COLOR shade[256];
};

SampleTables make_sample_tables() {
    SampleTables tables;
    for (int s = 0; s < 256; s++) {
        tables.height[s] = static_cast<float>(s - HEIGHT_BASE);
        tables.shade[s] = al_map_rgb(0, static_cast<unsigned char>(std::min(s, SHADE_CAP)), 0);
    }
    return tables;
}

// The sample of a pixel: its colour unmapped into one byte for red, green and
// blue alike, so blue, written last, is what stays.
unsigned char sample_at(ALLEGRO_BITMAP* image, int column, int row) {
    unsigned char level;
    al_unmap_rgb(al_get_pixel(image, column, row), &level, &level, &level);
    return level;
}

// One row of samples plus a 0 past the right edge; a row past the bottom is all 0.
void read_sample_row(ALLEGRO_BITMAP* image, int row, int width, int height, unsigned char* samples) {
    if (row >= height) {
        memset(samples, 0, size_t(width) + 1);
        return;
    }
    for (int column = 0; column < width; column++) samples[column] = sample_at(image, column, row);
    samples[width] = 0;
}

}  // namespace

MeshSize mesh_size(int64_t width, int64_t height) {
    const uint64_t cells = saturating_product(uint64_t(std::max<int64_t>(width, 0)),
                                              uint64_t(std::max<int64_t>(height, 0)));
    return {cells, saturating_product(cells, VERTICES_PER_CELL),
            saturating_product(cells, uint64_t(VERTICES_PER_CELL) * sizeof(TerrainVertex))};
}

bool build_terrain_mesh(ALLEGRO_BITMAP* image, std::vector<TerrainVertex>& vertices, const MeshBuildCheck& check) {
    const int width = al_get_bitmap_width(image);
    const int height = al_get_bitmap_height(image);
    const MeshSize size = mesh_size(width, height);
    // No rows: nothing to build and nothing to print, however wide.
    if (height <= 0) return true;

    const SampleTables tables = make_sample_tables();
    vertices.reserve(vertices.size() + size.vertices);
    // Rows i and i + 1 of samples: the top and bottom corners of row i's cells.
    std::vector<unsigned char> top(size_t(width) + 1), bottom(size_t(width) + 1);
    // Locked once, so each read below is a plain memory read; should the lock
    // fail, al_get_pixel still reads the pixel, only slower.
    ALLEGRO_LOCKED_REGION* lock = al_lock_bitmap(image, ALLEGRO_PIXEL_FORMAT_ANY, ALLEGRO_LOCK_READONLY);
    read_sample_row(image, 0, width, height, bottom.data());

    constexpr uint64_t CELL_BYTES = VERTICES_PER_CELL * sizeof(TerrainVertex);
    uint64_t cells_until_check = 0, cells_done = 0;  // the first check comes before the first cell
    for (int i = 0; i < height; i++) {
        top.swap(bottom);
        read_sample_row(image, i + 1, width, height, bottom.data());
        const float z0 = float(i - GRID_OFFSET), z1 = float(i + 1 - GRID_OFFSET);
        const float v0 = float(i), v1 = float(i + 1);
        for (int j = 0; j < width;) {
            if (cells_until_check == 0) {
                if (check && !check((size.cells - cells_done) * CELL_BYTES)) {
                    if (lock) al_unlock_bitmap(image);
                    std::vector<TerrainVertex>().swap(vertices);
                    return false;
                }
                cells_until_check = MESH_CHECK_BYTES / CELL_BYTES;
            }
            // Cells up to the row's end or the next check.
            const int end = int(std::min<uint64_t>(uint64_t(width), j + cells_until_check));
            cells_until_check -= uint64_t(end - j);
            cells_done += uint64_t(end - j);
            for (; j < end; j++) {
                const unsigned char h00 = top[j], h01 = bottom[j], h10 = top[j + 1], h11 = bottom[j + 1];
                const float x0 = float(j - GRID_OFFSET), x1 = float(j + 1 - GRID_OFFSET);
                const float u0 = float(j), u1 = float(j + 1);
                // Triangles (00, 01, 10) and (01, 10, 11): the shared edge repeated.
                const TerrainVertex cell[VERTICES_PER_CELL] = {
                    {x0, tables.height[h00], z0, u0, v0, tables.shade[h00]},
                    {x0, tables.height[h01], z1, u0, v1, tables.shade[h01]},
                    {x1, tables.height[h10], z0, u1, v0, tables.shade[h10]},
                    {x0, tables.height[h01], z1, u0, v1, tables.shade[h01]},
                    {x1, tables.height[h10], z0, u1, v0, tables.shade[h10]},
                    {x1, tables.height[h11], z1, u1, v1, tables.shade[h11]},
                };
                vertices.insert(vertices.end(), cell, cell + VERTICES_PER_CELL);
            }
        }
        console_print("Creating hmap: scanline %d/%d\n", i, height);
    }
    if (lock) al_unlock_bitmap(image);
    return true;
}
