// The height image: a grey picture whose pixel values are terrain heights.
// It is the viewer's one untrusted input, so it is checked before the image
// library decodes it (its kind, its header against its length, its size
// against the memory here and against what the library can count), read
// once into memory and decoded from there, so the decoder sees exactly the
// bytes that were checked.
#pragma once

#include <allegro5/allegro.h>

#include <climits>
#include <cstdint>
#include <string>

#include "heightmap/memory_budget.h"
#include "terrain/terrain_mesh.h"

constexpr const char* HEIGHTMAP_FILE = "hmap.bmp";  // looked for in the working directory

// The loaded height image; null until main loads it. Never destroyed by the
// viewer: the library frees it when the process ends.
extern ALLEGRO_BITMAP* heightmap;

// Bytes a pixel of the height image costs once loaded: its cell's six
// vertices and the 4 bytes the library decodes it into, 220 in all.
constexpr uint64_t DECODED_BYTES_PER_PIXEL = 4;
constexpr uint64_t BYTES_PER_PIXEL = VERTICES_PER_CELL * sizeof(TerrainVertex) + DECODED_BYTES_PER_PIXEL;
// Bytes a pixel costs while the library decodes it: the image, a copy it
// writes the pixels into first, and for run-length data a byte of colour index.
constexpr uint64_t DECODING_BYTES_PER_PIXEL = 2 * DECODED_BYTES_PER_PIXEL + 1;
// The most pixels the library holds in one image: 4 bytes each, counted in an int.
constexpr uint64_t LIBRARY_MAX_PIXELS = INT_MAX / DECODED_BYTES_PER_PIXEL;
// The widest row the library can count: it sizes a row as 4 bytes a pixel in
// an int, and its decoder of colour masks a row buffer one pixel longer.
constexpr int64_t LIBRARY_MAX_ROW_PIXELS = INT_MAX / DECODED_BYTES_PER_PIXEL - 1;
// It counts rows in an int too.
constexpr int64_t LIBRARY_MAX_ROWS = INT_MAX;

// Bytes a width x height image takes once loaded (saturating).
uint64_t heightmap_bytes(int64_t width, int64_t height);

// The side in pixels of the largest square image that `spare` bytes and the
// library hold.
int64_t largest_square_side(uint64_t spare);

// Why a width x height image from `name` cannot be shown with what `limit`
// spares; "" when it can.
std::string heightmap_size_problem(const char* name, int64_t width, int64_t height, const MemoryLimit& limit);

// Why the mesh of a width x height image from `name`, part way built, cannot
// go on: it still needs `bytes_left` and `limit` spares less; "" when it can.
std::string mesh_fill_problem(const char* name, int64_t width, int64_t height, uint64_t bytes_left,
                              const MemoryLimit& limit);

// Why loading failed: the image is missing or unreadable (shown as the
// "error" / "lol" box), or the viewer refuses it (the box gives the reason).
struct HeightmapProblem {
    bool refused = false;
    bool no_image_addon = false;  // the library's image add-on is not running
    std::string reason;
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

// Shows the problem's box and writes it to standard error; blocks until the
// box is closed.
void report_heightmap_problem(const char* path, const HeightmapProblem& problem);
