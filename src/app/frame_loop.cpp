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

void draw_terrain(const std::vector<TerrainVertex>& vertices, size_t max_bytes) {
    // Each call starts at its own slice, so offsets count from the slice.
    const size_t step = vertices_per_draw(max_bytes);
    for (size_t first = 0; first < vertices.size(); first += step) {
        const size_t count = std::min(step, vertices.size() - first);
        al_draw_prim(vertices.data() + first, nullptr, nullptr, 0, int(count), ALLEGRO_PRIM_TRIANGLE_LIST);
    }
}

long run_frame_loop(Camera& camera, const std::vector<TerrainVertex>& vertices, long frame_limit) {
    camera.set_fov(START_FOV);
    // A pointer left at rest reads no offset in the first update.
    mouse_center();
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
        // list order, and a cell's two triangles wind opposite ways.
        draw_terrain(vertices);
        camera.update();
        al_flip_display();
        frames++;
    }
    return frames;
}
