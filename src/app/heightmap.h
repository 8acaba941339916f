// The height image: a grey picture whose pixel values are terrain heights.
// It is the viewer's one untrusted input, so it is checked before the image
// library decodes it (the kind of file, its header against its length, its
// size against the memory here) and its size again once it is loaded.
#pragma once

#include <allegro5/allegro.h>

#include <cstdint>
#include <string>

#include "app/terrain_mesh.h"

constexpr const char* HEIGHTMAP_FILE = "hmap.bmp";  // looked for in the working directory

// The loaded height image; null until main loads it. Never destroyed by the
// viewer: the library frees it when the process ends.
extern ALLEGRO_BITMAP* heightmap;

// Bytes a pixel of the height image costs once loaded: its cell's six
// vertices and the 4 bytes the library decodes it into, 220 in all.
constexpr uint64_t DECODED_BYTES_PER_PIXEL = 4;
constexpr uint64_t BYTES_PER_PIXEL = VERTICES_PER_CELL * sizeof(TerrainVertex) + DECODED_BYTES_PER_PIXEL;
// The most pixels the library holds in one image: 4 bytes each, counted in an int.
constexpr uint64_t LIBRARY_MAX_PIXELS = 0x7FFFFFFF / DECODED_BYTES_PER_PIXEL;

// Bytes a width x height image takes once loaded (saturating).
uint64_t heightmap_bytes(int64_t width, int64_t height);

// What the image may take out of `available` bytes: an eighth of them, and
// at least 512 MiB, stay free for the drawing and for the rest of the machine.
uint64_t memory_to_spare(uint64_t available);

// The memory available now (the system's estimate, capped at physical memory).
uint64_t memory_available();

// Why a width x height image from `name` cannot be shown when `spare` bytes
// can be spared; "" when it can.
std::string heightmap_size_problem(const char* name, int64_t width, int64_t height, uint64_t spare);

// Why loading failed: the image is missing or unreadable (shown as the
// "error" / "lol" box), or the viewer refuses it (the box gives the reason).
struct HeightmapProblem {
    bool refused = false;
    std::string reason;
};

// Checks and loads the image at `path`, whose mesh and decoded pixels may
// take `spare` bytes; null with `problem` filled when it cannot be shown.
// Never blocks on a file that is not a regular one.
ALLEGRO_BITMAP* load_heightmap(const char* path, HeightmapProblem& problem,
                               uint64_t spare = memory_to_spare(memory_available()));

// Shows the problem's box and writes it to standard error; blocks until the
// box is closed.
void report_heightmap_problem(const char* path, const HeightmapProblem& problem);
