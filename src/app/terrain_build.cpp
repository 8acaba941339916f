#include "app/terrain_build.h"

#include "app/build_progress.h"

TerrainBuild build_terrain(const char* name, ALLEGRO_BITMAP* image, TerrainVertices& vertices, CellBlocks& blocks,
                           HeightmapProblem& problem) {
    MeshBuildOptions build;
    // Neighbours may take the memory while the mesh fills.
    build.check = mesh_memory_check(name, image, problem);
    build.watch = build_progress_watch();
    // Each piece's bounds while its cells are still in the cache.
    build.filled = [&](uint64_t first, uint64_t count) { blocks.add_cells(vertices, first, count); };
    if (!build_terrain_mesh(image, vertices, build))
        return problem.refused ? TerrainBuild::REFUSED : TerrainBuild::CANCELLED;
    blocks.finish(vertices);
    return TerrainBuild::BUILT;
}
