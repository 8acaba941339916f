// The terrain viewer: shows hmap.bmp from the working directory as a 3D
// terrain in an 800 x 600 window; the mouse turns the camera, Escape ends.

#include <allegro5/allegro.h>
#include <allegro5/allegro_native_dialog.h>

#include <cstdlib>
#include <vector>

#include "app/frame_loop.h"
#include "app/heightmap.h"
#include "app/terrain_mesh.h"
#include "camera/camera.h"
#include "engine/console.h"
#include "engine/zeb.h"

int main() {  // the command line is ignored
    // A failed step has shown its box; whatever needs it stops below.
    platform_init();
    // Without a window there is nothing to show the terrain in.
    if (!set_video_mode(800, 600, VIDEO_MODE_MEMORY_BITMAPS)) return EXIT_FAILURE;

    heightmap = al_load_bitmap(HEIGHTMAP_FILE);
    std::vector<TerrainVertex> terrain_vertices;
    if (!heightmap) {
        al_show_native_message_box(nullptr, "error", "lol", "lol", nullptr, ALLEGRO_MESSAGEBOX_ERROR);
        console_error("terrain-viewer: cannot load the height image %s: %s", HEIGHTMAP_FILE,
                      image_load_problem(HEIGHTMAP_FILE));
        return EXIT_FAILURE;
    }
    if (!build_terrain_mesh(heightmap, terrain_vertices)) return EXIT_FAILURE;

    if (const char* missing = frame_loop_missing()) {
        console_error("terrain-viewer: cannot show the terrain: %s", missing);
        return EXIT_FAILURE;
    }
    Camera camera;
    run_frame_loop(camera, terrain_vertices);

    std::vector<TerrainVertex>().swap(terrain_vertices);
    // The display, the image and the library go with the library's exit hook.
    return 0;
}
