// The terrain viewer: shows hmap.bmp from the working directory as a 3D
// terrain in an 800 x 600 window; the mouse turns the camera, Escape ends.

#include <cstdlib>
#include <vector>

#include "app/build_progress.h"
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
    TerrainVertices terrain_vertices;
    if (!heightmap) {
        report_heightmap_problem(HEIGHTMAP_FILE, problem);
        return end_of_run(EXIT_FAILURE);
    }
    // The mesh fills on every core while neighbours may take the memory; the
    // window shows how far it is, and Escape, the close button or a
    // termination signal end the run there as they end the frame loop. The
    // bounds of blocks of cells, so each frame draws only what can be seen,
    // grow from the cells as they are filled, while they are in the cache.
    const size_t columns = size_t(al_get_bitmap_width(heightmap)), rows = size_t(al_get_bitmap_height(heightmap));
    CellBlocks blocks(columns, rows);
    MeshBuildOptions build;
    build.check = mesh_memory_check(HEIGHTMAP_FILE, heightmap, problem);
    build.watch = build_progress_watch();
    build.filled = [&](uint64_t first, uint64_t count) { blocks.add_cells(terrain_vertices, first, count); };
    if (!build_terrain_mesh(heightmap, terrain_vertices, build)) {
        if (!problem.refused) return end_of_run(0);  // cancelled: ends as after the last frame
        report_heightmap_problem(HEIGHTMAP_FILE, problem);
        return end_of_run(EXIT_FAILURE);
    }
    blocks.finish(terrain_vertices);

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

    TerrainVertices().swap(terrain_vertices);
    // The display, the image and the library go with the library's exit hook.
    return end_of_run(0);
}
