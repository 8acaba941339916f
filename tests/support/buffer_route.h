// The buffer route as the viewer makes it (the pieces of the mesh and their
// vertex buffers), with what it holds, for the tests and the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "terrain/buffer_pieces.h"
#include "terrain/mesh_buffers.h"
#include "terrain/terrain_mesh.h"

struct BufferRoute {
    // Buffers for `vertices` (which must outlive them), as BufferPieces takes
    // the other arguments; memory to spare unlimited unless `spare` is given.
    BufferRoute(const TerrainVertices& vertices, uint64_t allowance, size_t piece_cells = PIECE_CELLS,
                size_t copies_a_frame = PIECE_COPIES_A_FRAME, SpareMemory spare = nullptr);
    size_t held() const;          // pieces
    uint64_t held_bytes() const;  // their bytes

    BufferPieces pieces;
    MeshBuffers buffers;
};
