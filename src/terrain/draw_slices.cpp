#include "terrain/draw_slices.h"

#include <allegro5/allegro_primitives.h>

#include <algorithm>
#include <climits>

size_t vertices_per_draw(size_t max_bytes) {
    const size_t cell_bytes = VERTICES_PER_CELL * sizeof(TerrainVertex);
    size_t cells = max_bytes > 0 ? (max_bytes - 1) / cell_bytes : 0;
    // A call counts its vertices in an int.
    cells = std::min<size_t>(cells, INT_MAX / VERTICES_PER_CELL);
    return std::max<size_t>(cells, 1) * VERTICES_PER_CELL;
}

void draw_vertices(const TerrainVertex* first, size_t count, size_t max_bytes) {
    // Each call starts at its own slice, so offsets count from the slice.
    const size_t step = vertices_per_draw(max_bytes);
    for (size_t done = 0; done < count; done += step)
        al_draw_prim(first + done, nullptr, nullptr, 0, int(std::min(step, count - done)), ALLEGRO_PRIM_TRIANGLE_LIST);
}
