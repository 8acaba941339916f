// The terrain viewer: shows hmap.bmp from the working directory as a 3D
// terrain in an 800 x 600 window; the mouse turns the camera, Escape ends.

#include <cstdlib>
#include <vector>

#include "app/frame_loop.h"
#include "app/terrain_build.h"
#include "heightmap/heightmap.h"
#include "terrain/terrain_mesh.h"
#include "terrain/visible_cells.h"
#include "engine/console.h"
#include "engine/guard.h"
#include "engine/zeb.h"

int main() {  // the command line is ignored
    // Before the library opens anything: the X connection must never become
    // standard output or error.
    console_open_standard_streams();
    // A closed pipe, a file-size limit, a lost X display, an X error,
    // exhausted memory: a line on standard error and a status, never a
    // signal. SIGINT, SIGTERM and SIGHUP end the run as Escape does, and
    // then the process by that signal, so its parent sees it.
    guard_process();
    // A failed step or display has shown its box; loading and building need
    // neither, and the frame loop's check stops the run before drawing.
    platform_init();
    set_video_mode(800, 600, VIDEO_MODE_MEMORY_BITMAPS);

    HeightmapProblem problem;
    heightmap = load_heightmap(HEIGHTMAP_FILE, problem);
    if (!heightmap) {
        report_heightmap_problem(HEIGHTMAP_FILE, problem);
        return end_of_run(EXIT_FAILURE);
    }
    // The mesh and the bounds of its blocks of cells, so each frame draws
    // only what can be seen. Escape, the close button or a termination signal
    // end the run during the build as they end it between frames.
    TerrainVertices terrain_vertices;
    CellBlocks blocks(size_t(al_get_bitmap_width(heightmap)), size_t(al_get_bitmap_height(heightmap)));
    switch (build_terrain(HEIGHTMAP_FILE, heightmap, terrain_vertices, blocks, problem)) {
        case TerrainBuild::BUILT: break;
        case TerrainBuild::CANCELLED: return end_of_run(0);
        case TerrainBuild::REFUSED: report_heightmap_problem(HEIGHTMAP_FILE, problem); return end_of_run(EXIT_FAILURE);
    }

    const char* missing = blocks.fits() ? frame_loop_missing() : "the mesh is not the height image's size";
    if (missing) {
        console_error("terrain-viewer: cannot show the terrain: %s", missing);
        return end_of_run(EXIT_FAILURE);
    }
    show_terrain(terrain_vertices, blocks);

    TerrainVertices().swap(terrain_vertices);
    // The display, the image and the library go with the library's exit hook.
    return end_of_run(0);
}
