// The terrain mesh: every pixel of the height image is the corner of a grid
// cell, and every cell two coloured triangles, six vertices, in one flat list
// drawn with a single call.
#pragma once

#include <allegro5/allegro.h>
#include <allegro5/allegro_primitives.h>

#include <cstdint>
#include <vector>

using TerrainVertex = ALLEGRO_VERTEX;

constexpr int GRID_OFFSET = 20;   // a pixel's column and row, less this, give its world x and z
constexpr int HEIGHT_BASE = 156;  // the sample that lands at height 0
constexpr int SHADE_CAP = 50;     // the brightest green level; higher samples share it
constexpr int VERTICES_PER_CELL = 6;

// What the mesh of a width x height image (pixels) takes; counts too large
// for 64 bits read as the largest 64-bit value.
struct MeshSize {
    uint64_t vertices;
    uint64_t bytes;
};
MeshSize mesh_size(int width, int height);

enum class MeshFit {
    fits,
    too_many_vertices,  // more than one draw call can take (its counts are int)
    too_many_bytes,     // more than `memory_bytes`
};
MeshFit mesh_fit(MeshSize size, uint64_t memory_bytes);

// Bytes a mesh may take here: the memory available now where the system says,
// never more than the physical memory.
uint64_t memory_for_mesh();

// Appends the mesh of `image` to `vertices`, one "Creating hmap: scanline i/H"
// line per image row. A mesh that does not fit is refused before anything is
// allocated: a line on standard error, nothing appended, false.
//
// Each corner of a cell sits at world x = column - 20, z = row - 20,
// y = sample - 156, with green min(sample, 50) / 255. Samples are the
// blue level of each pixel (the grey level of a grey image) and 0 past the
// right and bottom edges. u and v hold the corner's column and row in pixels,
// so the height image itself, laid on as a texture, would line up with it.
bool build_terrain_mesh(ALLEGRO_BITMAP* image, std::vector<TerrainVertex>& vertices);
