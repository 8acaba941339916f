// The terrain mesh: every pixel of the height image is the corner of a grid
// cell, and every cell two coloured triangles, six vertices, in one flat list
// whose order is the order they are painted in.
#pragma once

#include <allegro5/allegro.h>
#include <allegro5/allegro_primitives.h>

#include <cstdint>
#include <functional>
#include <vector>

using TerrainVertex = ALLEGRO_VERTEX;

constexpr int GRID_OFFSET = 20;   // a pixel's column and row, less this, give its world x and z
constexpr int HEIGHT_BASE = 156;  // the sample that lands at height 0
constexpr int SHADE_CAP = 50;     // the brightest green level; higher samples share it
constexpr int VERTICES_PER_CELL = 6;

// What the mesh of a width x height image (pixels) takes; counts too large
// for 64 bits read as the largest 64-bit value.
struct MeshSize {
    uint64_t cells;  // one a pixel
    uint64_t vertices;
    uint64_t bytes;
};
MeshSize mesh_size(int64_t width, int64_t height);

// How often the build asks whether it may go on: every this many bytes of
// mesh filled. Reserved memory costs nothing until it is filled, so a
// neighbour (another viewer, say) may take it meanwhile. Well under the
// 192 MiB the memory budget keeps free under a cgroup's limit: two builds
// that each passed their last check cannot overrun it before the next.
constexpr uint64_t MESH_CHECK_BYTES = uint64_t(64) << 20;

// Asked before the first cell and after every MESH_CHECK_BYTES filled, with
// the bytes of mesh still to fill: false stops the build there.
using MeshBuildCheck = std::function<bool(uint64_t bytes_left)>;

// Appends the mesh of `image` to `vertices`, one "Creating hmap: scanline i/H"
// line per image row. The array is reserved once, for exactly the mesh: the
// caller makes sure the memory is there (the height image's size check), and
// `check` that it stays there. Returns false when `check` stopped the build:
// `vertices` is then empty and its memory given back.
//
// Each corner of a cell sits at world x = column - 20, z = row - 20,
// y = sample - 156, with green min(sample, 50) / 255. Samples are the
// blue level of each pixel (the grey level of a grey image) and 0 past the
// right and bottom edges. u and v hold the corner's column and row in pixels,
// so the height image itself, laid on as a texture, would line up with it.
bool build_terrain_mesh(ALLEGRO_BITMAP* image, std::vector<TerrainVertex>& vertices,
                        const MeshBuildCheck& check = nullptr);
