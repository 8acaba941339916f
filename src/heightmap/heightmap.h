// The height image: a grey picture whose pixel values are terrain heights.
// It is the viewer's one untrusted input, so it is checked before the image
// library decodes it (its kind, its header against its length, its size
// against the memory here and against what the library can count), read
// once into memory and decoded from there, so the decoder sees exactly the
// bytes that were checked.
#pragma once

#include <allegro5/allegro.h>

#include <string>

#include "heightmap/bmp_header.h"
#include "heightmap/memory_budget.h"
#include "terrain/terrain_mesh.h"

constexpr const char* HEIGHTMAP_FILE = "hmap.bmp";  // looked for in the working directory

// The loaded height image; null until main loads it. Never destroyed by the
// viewer: the library frees it when the process ends.
extern ALLEGRO_BITMAP* heightmap;

// Why loading failed: the image is missing or unreadable (shown as the
// "error" / "lol" box), or the viewer refuses it (the box gives the reason).
struct HeightmapProblem {
    bool refused = false;
    bool no_image_addon = false;  // the library's image add-on is not running
    std::string reason;
    // Refused as too large for the memory here: the side in pixels of the
    // square it fits once shrunk (0: not so refused), and its header, for
    // the report's command that shrinks it.
    int64_t fits_side = 0;
    BmpHeader header = {};
};

// Checks and loads the BMP image at `path`, whose mesh and decoded pixels
// must fit what `budget` spares (asked before reading and again after
// decoding); null with `problem` filled when it cannot be shown. Heights are
// the file's grey levels whatever its alpha channel. Never blocks on a file
// that is not a regular one.
ALLEGRO_BITMAP* load_heightmap(const char* path, HeightmapProblem& problem,
                               const MemoryBudget& budget = memory_budget);

// The check for build_terrain_mesh: asks `budget` again as the mesh of
// `image` (from `name`) fills, and stops the build, with `problem` filled,
// once what it spares falls under what the mesh still needs. Limits on memory
// in use only: the reserved mesh counts against the others in full already.
MeshBuildCheck mesh_memory_check(const char* name, ALLEGRO_BITMAP* image, HeightmapProblem& problem,
                                 const MemoryBudget& budget = resident_memory_budget);

// Shows the problem's box and writes it to standard error, with a command
// that shrinks an image too large for the memory (asking the machine for
// its tools first); blocks until the box is closed.
void report_heightmap_problem(const char* path, const HeightmapProblem& problem);
