// Vertices drawn from system memory in slices, so that no single draw call
// spans more than the renderer can address. The picture is the same as one
// call's, pixel for pixel.
#pragma once

#include <cstddef>

#include "terrain/terrain_mesh.h"

// The most bytes of vertices one draw call may span: the software renderer
// addresses them by signed 32-bit byte offsets, which wrap past this (and crash).
constexpr size_t MAX_DRAW_BYTES = size_t(1) << 31;

// Vertices one draw call takes: as many whole cells as stay below
// `max_bytes`, and at least one cell.
size_t vertices_per_draw(size_t max_bytes);

// Draws `count` vertices from `first` as triangles in list order, in as few
// calls as `max_bytes` a call allows; the picture is the same as one call's.
void draw_vertices(const TerrainVertex* first, size_t count, size_t max_bytes = MAX_DRAW_BYTES);
