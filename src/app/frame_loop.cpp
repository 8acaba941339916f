// A plain polling loop: no events, no timer, frames as fast as drawing and
// flipping allow. Input read at the end of a frame shows in the next one.

#include "app/frame_loop.h"

#include <allegro5/allegro_primitives.h>

#include <algorithm>
#include <climits>

#include "engine/console.h"
#include "engine/zeb.h"

const char* frame_loop_missing() {
    if (!display) return "there is no display";
    if (!al_is_keyboard_installed()) return "the keyboard driver is not running";
    if (!al_is_mouse_installed()) return "the mouse driver is not running";
    if (!al_is_primitives_addon_initialized()) return "the primitives add-on is not running";
    return nullptr;
}

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

void draw_terrain(const std::vector<TerrainVertex>& vertices, size_t max_bytes) {
    draw_vertices(vertices.data(), vertices.size(), max_bytes);
}

void draw_visible_terrain(const std::vector<TerrainVertex>& vertices, const CellBlocks& blocks,
                          const ALLEGRO_TRANSFORM& view, const ALLEGRO_TRANSFORM& projection,
                          std::vector<CellRun>& runs, size_t bridge) {
    blocks.visible_runs(clip_volume(view, projection), runs, bridge);
    for (const CellRun& run : runs)
        draw_vertices(vertices.data() + run.first * VERTICES_PER_CELL, run.count * VERTICES_PER_CELL);
}

long run_frame_loop(Camera& camera, const std::vector<TerrainVertex>& vertices, const CellBlocks& blocks,
                    long frame_limit) {
    camera.set_fov(START_FOV);
    // A pointer left at rest reads no offset in the first update.
    mouse_center();
    std::vector<CellRun> runs;
    long frames = 0;
    while (frames < frame_limit) {
        // The keyboard as the previous frame's update read it: all clear at first.
        if (al_key_down(&keyboard_now, ALLEGRO_KEY_ESCAPE)) break;
        console_print("yaw=%d, pitch=%d\n", static_cast<int>(camera.yaw), static_cast<int>(camera.pitch));
        al_clear_to_color(al_map_rgb(0, 0, 0));
        ALLEGRO_TRANSFORM projection = camera.projection();
        ALLEGRO_TRANSFORM view = camera.view();
        al_use_projection_transform(&projection);
        al_use_transform(&view);
        // No depth test and no culling: triangles paint over each other in
        // list order, and a cell's two triangles wind opposite ways. Cells
        // that cannot reach the window are skipped: they would paint nothing.
        draw_visible_terrain(vertices, blocks, view, projection, runs);
        camera.update();
        al_flip_display();
        frames++;
    }
    return frames;
}
