// The terrain's build at start-up: the mesh of the height image, filled on
// every core, and the bounds of its blocks of cells, grown as it fills.
#pragma once

#include <allegro5/allegro.h>

#include "heightmap/heightmap.h"
#include "terrain/terrain_mesh.h"
#include "terrain/visible_cells.h"

enum class TerrainBuild {
    BUILT,
    CANCELLED,  // Escape, the close button or a termination signal ended the run during it
    REFUSED,    // neighbours took the memory the rest of the mesh needed: `problem` says so
};

// Fills `vertices` with the mesh of `image` (loaded from `name`) and `blocks`
// (made for its size) with their bounds, while the window shows how far the
// build is. Anything but BUILT leaves `vertices` empty.
TerrainBuild build_terrain(const char* name, ALLEGRO_BITMAP* image, TerrainVertices& vertices, CellBlocks& blocks,
                           HeightmapProblem& problem);
