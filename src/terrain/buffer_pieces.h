// Which pieces of the terrain mesh are kept in vertex buffers. The list of
// vertices is cut into pieces of whole cells; a piece is copied the first
// time a frame draws from it, a few a frame, while both the draw route's
// allowance and the memory that can be spared take it. Plain numbers only:
// the buffers themselves are MeshBuffers'.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "terrain/terrain_mesh.h"

// Cells a piece holds (56.6 MB): a copy on first sight costs a frame a few
// tens of milliseconds, and a run crossing a piece's end one more call.
constexpr size_t PIECE_CELLS = size_t(1) << 18;
// The most pieces one frame copies: a turn that brings much of a large
// terrain into view fills the buffers over several frames, not one long one.
constexpr size_t PIECE_COPIES_A_FRAME = 2;
// The library counts a buffer's bytes in an int.
static_assert(PIECE_CELLS * VERTICES_PER_CELL * sizeof(TerrainVertex) < size_t(INT_MAX));

// What a copy takes out of the process's memory beyond its own bytes, in
// sixteenths of them. Mesa's software renderer keeps the copy in system
// memory: 1.000 bytes of address space and 1.00 to 1.04 bytes resident for
// each byte copied. A graphics card keeps it in its own memory, so there the
// check errs on the safe side.
constexpr uint64_t COPY_OVERHEAD_SIXTEENTHS = 1;

// The bytes of memory that can be spared now (the memory budget's).
using SpareMemory = std::function<uint64_t()>;

class BufferPieces {
public:
    // The pieces of a mesh of `vertices` vertices, `piece_cells` cells each
    // (the last may hold fewer), of which at most `allowance` bytes are held
    // and `copies_a_frame` copied a frame; `spare` is asked before each copy.
    // None is held yet.
    BufferPieces(size_t vertices, uint64_t allowance, SpareMemory spare, size_t piece_cells = PIECE_CELLS,
                 size_t copies_a_frame = PIECE_COPIES_A_FRAME);

    size_t count() const { return held_.size(); }  // pieces of the mesh, held or not; none when nothing may be
    size_t piece_of(size_t vertex) const { return vertex / piece_vertices_; }
    size_t first_vertex(size_t piece) const { return piece * piece_vertices_; }
    size_t vertices(size_t piece) const;  // the vertices `piece` holds
    bool held(size_t piece) const { return held_[piece]; }

    // A new frame: it may copy `copies_a_frame` pieces again.
    void start_frame() { copies_this_frame_ = 0; }
    // Whether `piece`, not held, may be copied now: the frame has copies left,
    // the allowance takes its bytes beside those held, and the memory that can
    // be spared takes the copy. Memory too short stops all copies.
    bool may_copy(size_t piece);
    // `piece` has been copied: it is held, and used one of the frame's copies.
    void copied(size_t piece);
    // No more copies (the renderer refused a buffer); what is held stays.
    void stop() { allowance_ = held_bytes_; }

private:
    uint64_t bytes(size_t piece) const { return uint64_t(vertices(piece)) * sizeof(TerrainVertex); }

    size_t vertices_, piece_vertices_;
    uint64_t allowance_, held_bytes_ = 0;
    SpareMemory spare_;
    size_t copies_a_frame_, copies_this_frame_ = 0;
    std::vector<bool> held_;  // one a piece
};
