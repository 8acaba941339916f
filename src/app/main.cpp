// The terrain viewer: shows hmap.bmp from the working directory as a 3D
// terrain in an 800 x 600 window; the mouse turns the camera, Escape ends.

#include <cstdlib>
#include <vector>

#include "app/frame_loop.h"
#include "heightmap/heightmap.h"
#include "heightmap/memory_budget.h"
#include "terrain/buffer_pieces.h"
#include "terrain/mesh_buffers.h"
#include "terrain/renderer_facts.h"
#include "terrain/terrain_mesh.h"
#include "terrain/visible_cells.h"
#include "camera/camera.h"
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
    std::vector<TerrainVertex> terrain_vertices;
    if (!heightmap) {
        report_heightmap_problem(HEIGHTMAP_FILE, problem);
        return end_of_run(EXIT_FAILURE);
    }
    // Neighbours may take the memory while the mesh fills; a termination
    // signal stops the build too, and end_of_run then ends by it.
    const MeshBuildCheck enough_memory = mesh_memory_check(HEIGHTMAP_FILE, heightmap, problem);
    if (!build_terrain_mesh(heightmap, terrain_vertices,
                            [&](uint64_t left) { return !termination_requested() && enough_memory(left); })) {
        if (problem.refused) report_heightmap_problem(HEIGHTMAP_FILE, problem);
        return end_of_run(EXIT_FAILURE);
    }

    // Bounds of blocks of cells, so each frame draws only what can be seen.
    const CellBlocks blocks(terrain_vertices, size_t(al_get_bitmap_width(heightmap)),
                            size_t(al_get_bitmap_height(heightmap)));
    const char* missing = blocks.fits() ? frame_loop_missing() : "the mesh is not the height image's size";
    if (missing) {
        console_error("terrain-viewer: cannot show the terrain: %s", missing);
        return end_of_run(EXIT_FAILURE);
    }
    {
        // A graphics card with room gets its own copy of the mesh, piece by
        // piece as the pieces come into view while memory lasts; elsewhere
        // frames draw from memory.
        const uint64_t allowance = draw_route(terrain_vertices.size() * sizeof(TerrainVertex)).buffer_bytes;
        BufferPieces pieces(terrain_vertices.size(), allowance, [] { return memory_budget().spare; });
        MeshBuffers buffers(terrain_vertices, pieces);
        Camera camera;
        run_frame_loop(camera, terrain_vertices, blocks, FRAME_LIMIT, &buffers);
    }

    std::vector<TerrainVertex>().swap(terrain_vertices);
    // The display, the image and the library go with the library's exit hook.
    return end_of_run(0);
}
