// Triangles in list order, no depth test and no culling: a later triangle
// paints over an earlier one, and a cell's two triangles wind opposite ways.

#include "terrain/terrain_draw.h"

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

void draw_terrain(const TerrainVertices& vertices, size_t max_bytes) {
    draw_vertices(vertices.data(), vertices.size(), max_bytes);
}

void draw_visible_terrain(const TerrainVertices& vertices, const CellBlocks& blocks,
                          const ALLEGRO_TRANSFORM& view, const ALLEGRO_TRANSFORM& projection,
                          std::vector<CellRun>& runs, size_t bridge) {
    blocks.visible_runs(clip_volume(view, projection), runs, bridge);
    for (const CellRun& run : runs)
        draw_vertices(vertices.data() + run.first * VERTICES_PER_CELL, run.count * VERTICES_PER_CELL);
}

void draw_visible_terrain(MeshBuffers* buffers, const TerrainVertices& vertices, const CellBlocks& blocks,
                          const ALLEGRO_TRANSFORM& view, const ALLEGRO_TRANSFORM& projection,
                          std::vector<CellRun>& runs, size_t bridge) {
    if (!buffers) return draw_visible_terrain(vertices, blocks, view, projection, runs, bridge);
    buffers->start_frame();
    blocks.visible_runs(clip_volume(view, projection), runs, bridge);
    for (const CellRun& run : runs) buffers->draw(run.first * VERTICES_PER_CELL, run.count * VERTICES_PER_CELL);
}
