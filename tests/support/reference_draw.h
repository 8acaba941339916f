// The terrain drawn the plain way: every cell of the mesh, in list order,
// whether it can reach the window or not. The picture the viewer's frame must
// match pixel for pixel, and the speed it is measured against.
#pragma once

#include <cstddef>
#include <vector>

#include "terrain/draw_slices.h"
#include "terrain/terrain_mesh.h"

// Draws the whole mesh, in slices of at most `max_bytes` a call.
void draw_whole_mesh(const TerrainVertices& vertices, size_t max_bytes = MAX_DRAW_BYTES);
