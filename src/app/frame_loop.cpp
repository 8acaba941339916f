// A plain polling loop: no timer, and nothing waited for; the display's own
// events (its close button, its focus) are drained each frame. Frames come
// as fast as drawing and flipping allow. Input read at the end of a frame
// shows in the next one.

#include "app/frame_loop.h"

#include <allegro5/allegro_primitives.h>

#include "engine/console.h"
#include "engine/guard.h"
#include "engine/zeb.h"
#include "heightmap/memory_budget.h"
#include "terrain/buffer_pieces.h"
#include "terrain/renderer_facts.h"
#include "terrain/terrain_draw.h"

const char* frame_loop_missing() {
    if (!display) return "there is no display";
    if (!al_is_keyboard_installed()) return "the keyboard driver is not running";
    if (!al_is_mouse_installed()) return "the mouse driver is not running";
    if (!al_is_primitives_addon_initialized()) return "the primitives add-on is not running";
    return nullptr;
}

bool run_end_requested() {
    return al_key_down(&keyboard_now, ALLEGRO_KEY_ESCAPE) || display_close_requested() || termination_requested();
}

long run_frame_loop(Camera& camera, const TerrainVertices& vertices, const CellBlocks& blocks,
                    long frame_limit, MeshBuffers* buffers) {
    camera.set_fov(START_FOV);
    // A pointer left at rest reads no offset in the first update.
    mouse_center();
    std::vector<CellRun> runs;
    long frames = 0;
    while (frames < frame_limit) {
        // The keyboard as the last poll read it: the previous frame's update,
        // or at first the mesh build's watch, which ends the build on Escape.
        if (run_end_requested()) break;
        console_print("yaw=%d, pitch=%d\n", static_cast<int>(camera.yaw), static_cast<int>(camera.pitch));
        al_clear_to_color(al_map_rgb(0, 0, 0));
        ALLEGRO_TRANSFORM projection = camera.projection();
        ALLEGRO_TRANSFORM view = camera.view();
        al_use_projection_transform(&projection);
        al_use_transform(&view);
        // No depth test and no culling: triangles paint over each other in
        // list order, and a cell's two triangles wind opposite ways. Cells
        // that cannot reach the window are skipped: they would paint nothing.
        draw_visible_terrain(vertices, buffers, blocks, view, projection, runs);
        camera.update();
        al_flip_display();
        frames++;
    }
    return frames;
}

void show_terrain(const TerrainVertices& vertices, const CellBlocks& blocks) {
    const uint64_t allowance = draw_route(vertices.size() * sizeof(TerrainVertex)).buffer_bytes;
    BufferPieces pieces(vertices.size(), allowance, [] { return memory_budget().spare; });
    MeshBuffers buffers(vertices, pieces);
    Camera camera;
    run_frame_loop(camera, vertices, blocks, FRAME_LIMIT, &buffers);
}
