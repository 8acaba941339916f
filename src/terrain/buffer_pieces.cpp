#include "terrain/buffer_pieces.h"

#include <algorithm>
#include <utility>

BufferPieces::BufferPieces(size_t vertices, uint64_t allowance, SpareMemory spare, size_t piece_cells,
                           size_t copies_a_frame)
    : vertices_(vertices), piece_vertices_(std::max<size_t>(piece_cells, 1) * VERTICES_PER_CELL),
      allowance_(allowance), spare_(std::move(spare)), copies_a_frame_(copies_a_frame) {
    if (allowance_ > 0) held_.assign((vertices + piece_vertices_ - 1) / piece_vertices_, false);
}

size_t BufferPieces::vertices(size_t piece) const {
    return std::min(piece_vertices_, vertices_ - first_vertex(piece));
}

bool BufferPieces::may_copy(size_t piece) {
    if (held_[piece] || copies_this_frame_ >= copies_a_frame_ || held_bytes_ + bytes(piece) > allowance_)
        return false;
    // Asked only here, once for each piece copied and once more: the budget
    // reads several files.
    if (bytes(piece) * (16 + COPY_OVERHEAD_SIXTEENTHS) / 16 <= spare_()) return true;
    stop();
    return false;
}

void BufferPieces::copied(size_t piece) {
    held_[piece] = true;
    held_bytes_ += bytes(piece);
    copies_this_frame_++;
}
