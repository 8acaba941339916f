#include "terrain/mesh_schedule.h"

#include <algorithm>

namespace {

constexpr uint64_t CELL_BYTES = VERTICES_PER_CELL * sizeof(TerrainVertex);
constexpr uint64_t CHECK_CELLS = MESH_CHECK_BYTES / CELL_BYTES;

}  // namespace

MeshSchedule::MeshSchedule(uint64_t columns, uint64_t rows, int threads, const MeshBuildCheck& check,
                           uint64_t piece_cells)
    : columns_(columns),
      rows_(rows),
      cells_(columns * rows),
      piece_cells_(std::max<uint64_t>(piece_cells, 1)),
      check_(check),
      taken_(size_t(std::max(threads, 1)), MeshPiece{IDLE, IDLE}) {}

MeshPiece MeshSchedule::cut_piece() const {
    const uint64_t first = handed_out_;
    uint64_t end = first + piece_cells_;
    // Whole rows where a piece holds several, so a thread reads each row of
    // the image once for all of them.
    if (first % columns_ == 0 && piece_cells_ >= columns_) end = first + piece_cells_ / columns_ * columns_;
    return {first, std::min({end, cleared_, cells_})};
}

bool MeshSchedule::take(int slot, MeshPiece& piece, Clock::time_point deadline) {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        if (stopped_ || handed_out_ == cells_) return false;
        if (handed_out_ < cleared_) break;
        if (checking_) {
            if (changed_.wait_until(hold, deadline) == std::cv_status::timeout) return false;
            continue;
        }
        // Asked with what is not filled yet: pieces still being filled count
        // as needed in full, so the answer errs on the safe side.
        checking_ = true;
        const uint64_t bytes_left = (cells_ - filled_) * CELL_BYTES;
        hold.unlock();
        const bool go_on = !check_ || check_(bytes_left);
        hold.lock();
        checking_ = false;
        if (go_on) {
            cleared_ = std::min(cells_, cleared_ + CHECK_CELLS);
        } else {
            stopped_ = true;
        }
        changed_.notify_all();
    }
    piece = taken_[size_t(slot)] = cut_piece();
    handed_out_ = piece.end;
    return true;
}

void MeshSchedule::filled(int slot) {
    std::lock_guard<std::mutex> hold(lock_);
    MeshPiece& piece = taken_[size_t(slot)];
    filled_ += piece.end - piece.first;
    piece = {IDLE, IDLE};
    changed_.notify_all();
}

void MeshSchedule::cancel() {
    std::lock_guard<std::mutex> hold(lock_);
    stopped_ = true;
    changed_.notify_all();
}

MeshSchedule::Progress MeshSchedule::progress() {
    std::lock_guard<std::mutex> hold(lock_);
    // Pieces go out in list order: every cell before the first one still
    // being filled is done.
    uint64_t done = handed_out_;
    for (const MeshPiece& piece : taken_) done = std::min(done, piece.first);
    return {columns_ == 0 ? rows_ : done / columns_, filled_, stopped_ || filled_ == cells_};
}

void MeshSchedule::wait(uint64_t filled, Clock::time_point deadline) {
    std::unique_lock<std::mutex> hold(lock_);
    changed_.wait_until(hold, deadline, [&] { return stopped_ || filled_ != filled; });
}
