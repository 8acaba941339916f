#include "buffer_route.h"

#include <utility>

BufferRoute::BufferRoute(const TerrainVertices& vertices, uint64_t allowance, size_t piece_cells,
                         size_t copies_a_frame, SpareMemory spare)
    : pieces(vertices.size(), allowance, spare ? std::move(spare) : [] { return UINT64_MAX; }, piece_cells,
             copies_a_frame),
      buffers(vertices, pieces) {}

size_t BufferRoute::held() const {
    size_t held = 0;
    for (size_t piece = 0; piece < pieces.count(); piece++) held += pieces.held(piece);
    return held;
}

uint64_t BufferRoute::held_bytes() const {
    uint64_t bytes = 0;
    for (size_t piece = 0; piece < pieces.count(); piece++)
        if (pieces.held(piece)) bytes += pieces.vertices(piece) * sizeof(TerrainVertex);
    return bytes;
}
