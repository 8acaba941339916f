// How large a height image the viewer takes: what a pixel costs in memory,
// what the image library can count, and the wording of a refusal. Sizes are
// pixels, costs bytes.
#pragma once

#include <climits>
#include <cstdint>
#include <string>

#include "heightmap/memory_budget.h"
#include "terrain/terrain_mesh.h"

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
// spares; "" when it can. Refused for the memory, it ends with the largest
// square that fits, whose side goes to `fits_side` (when given) for the
// command that shrinks it.
std::string heightmap_size_problem(const char* name, int64_t width, int64_t height, const MemoryLimit& limit,
                                   int64_t* fits_side = nullptr);

// Why the mesh of a width x height image from `name`, part way built, cannot
// go on: it still needs `bytes_left` and `limit` spares less; "" when it can.
std::string mesh_fill_problem(const char* name, int64_t width, int64_t height, uint64_t bytes_left,
                              const MemoryLimit& limit);

// "hmap.bmp is W x H pixels, too large for the memory here: ...": `needs`
// says what for and how much, `limit` what can be spared.
std::string too_large_for_memory(const char* name, int64_t width, int64_t height, const std::string& needs,
                                 const MemoryLimit& limit);
