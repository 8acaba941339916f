#include "terrain/terrain_draw.h"

#include "terrain/draw_slices.h"

void draw_cell_runs(const std::vector<CellRun>& runs, const TerrainVertices& vertices,
                    MeshBuffers* buffers) {
    for (const CellRun& run : runs) {
        const size_t first = run.first * VERTICES_PER_CELL, count = run.count * VERTICES_PER_CELL;
        if (buffers)
            buffers->draw(first, count);
        else
            draw_vertices(vertices.data() + first, count);
    }
}

void draw_visible_terrain(const TerrainVertices& vertices, MeshBuffers* buffers, const CellBlocks& blocks,
                          const ALLEGRO_TRANSFORM& view, const ALLEGRO_TRANSFORM& projection,
                          std::vector<CellRun>& runs) {
    if (buffers) buffers->start_frame();
    blocks.visible_runs(clip_volume(view, projection), runs);
    draw_cell_runs(runs, vertices, buffers);
}
