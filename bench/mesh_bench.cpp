// Mesh build speed on a 1024 x 1024 height image: the plain route, the
// viewer's route, and the bound set by writing the same bytes into fresh
// memory. Also the peak memory of the viewer's route, and what asking the
// memory budget as the mesh fills costs it.
//
//   mesh_bench [runs] [side]     (default 5 runs, the best of each counting; side 1024)

#include <allegro5/allegro.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "heightmap/heightmap.h"
#include "terrain/terrain_mesh.h"
#include "terrain/visible_cells.h"
#include "bench_util.h"
#include "reference_mesh.h"

namespace {

int SIDE = 1024;

// Rolling grey levels, so every sample and both colour branches occur.
ALLEGRO_BITMAP* make_image() {
    al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);
    ALLEGRO_BITMAP* image = al_create_bitmap(SIDE, SIDE);
    al_set_target_bitmap(image);
    al_lock_bitmap(image, ALLEGRO_PIXEL_FORMAT_ANY, ALLEGRO_LOCK_WRITEONLY);
    for (int r = 0; r < SIDE; r++)
        for (int c = 0; c < SIDE; c++) {
            unsigned char level = (c * 7 + r * 13 + (c * r) / 64) & 0xFF;
            al_put_pixel(c, r, al_map_rgb(level, level, level));
        }
    al_unlock_bitmap(image);
    return image;
}

// Seconds `work` takes with its progress lines silenced.
double timed_quietly(const std::function<void()>& work) {
    double seconds = 0;
    quietly([&] { seconds = seconds_of(work); });
    return seconds;
}

double best_of(int runs, const std::function<void()>& work) {
    double best = 1e30;
    for (int i = 0; i < runs; i++) {
        double s = timed_quietly(work);
        if (s < best) best = s;
    }
    return best;
}

// Resets the peak resident size, so VmHWM then tells the peak of what follows.
void reset_peak() {
    FILE* refs = fopen("/proc/self/clear_refs", "w");
    if (refs) {
        fputs("5", refs);
        fclose(refs);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 5;
    if (runs < 1) runs = 1;
    if (argc > 2 && atoi(argv[2]) > 0) SIDE = atoi(argv[2]);
    if (!al_init()) {
        fprintf(stderr, "mesh_bench: the library did not start\n");
        return 1;
    }
    ALLEGRO_BITMAP* image = make_image();
    const double cells = double(SIDE) * SIDE;
    const size_t bytes = size_t(cells) * VERTICES_PER_CELL * sizeof(TerrainVertex);

    double plain = best_of(runs, [&] {
        TerrainVertices v;
        build_reference_mesh(image, v, true);
    });
    double project = best_of(runs, [&] {
        TerrainVertices v;
        build_terrain_mesh(image, v);
    });
    // The same on one thread, and the blocks of cells each way.
    MeshBuildOptions alone;
    alone.threads = 1;
    double one_thread = best_of(runs, [&] {
        TerrainVertices v;
        build_terrain_mesh(image, v, alone);
    });
    TerrainVertices mesh;
    quietly([&] { build_terrain_mesh(image, mesh); });
    double blocks = best_of(runs, [&] { CellBlocks(mesh, SIDE, SIDE); });
    double blocks_alone = best_of(runs, [&] { CellBlocks(mesh, SIDE, SIDE, 1); });
    TerrainVertices().swap(mesh);
    // The viewer's own check, its time inside the build counted apart.
    double checking = 0;
    int checks = 0;
    double checked = best_of(runs, [&] {
        TerrainVertices v;
        HeightmapProblem problem;
        const MeshBuildCheck memory = mesh_memory_check("bench", image, problem);
        double spent = 0;
        checks = 0;
        MeshBuildOptions options;
        options.check = [&](uint64_t left) {
            bool go_on = true;
            spent += seconds_of([&] { go_on = memory(left); });
            checks++;
            return go_on;
        };
        build_terrain_mesh(image, v, options);
        checking = spent;
    });
    double bound = best_of(runs, [&] {
        char* block = static_cast<char*>(malloc(bytes));
        memset(block, 1, bytes);
        // Keep the writes: the compiler may not drop them.
        __asm__ __volatile__("" : : "r"(block) : "memory");
        free(block);
    });

    reset_peak();
    long before = status_kib("VmRSS:");
    quietly([&] {
        TerrainVertices v;
        build_terrain_mesh(image, v);
    });
    long peak = status_kib("VmHWM:");

    printf("mesh build of a %dx%d image (%.0f cells, %zu bytes of mesh), best of %d runs\n", SIDE, SIDE,
           cells, bytes, runs);
    printf("  %-28s %8.2f M cells/s  (%.3f s)\n", "straightforward route", cells / plain / 1e6, plain);
    printf("  %-28s %8.2f M cells/s  (%.3f s)\n", "viewer's route", cells / project / 1e6, project);
    printf("  %-28s %8.2f M cells/s  (%.3f s)\n", "fresh memory, 216 B a cell", cells / bound / 1e6, bound);
    printf("  %-28s %8.2f M cells/s  (%.3f s)\n", "viewer's, memory asked", cells / checked / 1e6, checked);
    printf("  %-28s %8.2f M cells/s  (%.3f s)\n", "viewer's, one thread", cells / one_thread / 1e6, one_thread);
    printf("  %d threads / one: %.2fx faster\n", mesh_build_threads(), one_thread / project);
    printf("  blocks of cells: %.3f s on %d threads, %.3f s on one\n", blocks, mesh_build_threads(), blocks_alone);
    printf("  viewer / straightforward: %.2fx (goal: at least 2.5x)\n", plain / project);
    printf("  memory asked %d times as the mesh filled: %.2f ms, %.3f%% of the build (goal: under 2%%); "
           "best runs %+.2f%%\n",
           checks, checking * 1e3, 100 * checking / checked, 100 * (checked / project - 1));
    printf("  fresh-memory bound / viewer: %.2fx (goal: at most 1.5x)\n", project / bound);
    const double image_kib = double(SIDE) * SIDE * 4 / 1024, mesh_kib = double(bytes) / 1024;
    if (before >= 0 && peak >= 0)
        printf("  resident growth during a build: %.1f MiB for %.1f MiB of mesh and %.1f MiB of image "
               "(limit %.1f MiB: both plus 10%%)\n",
               (peak - before) / 1024.0, mesh_kib / 1024, image_kib / 1024, (mesh_kib + image_kib) * 1.1 / 1024);
    return 0;
}
