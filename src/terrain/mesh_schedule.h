// Who fills which cells of the terrain mesh: the cells, in list order, go
// out a piece at a time to the threads that fill them, the memory check is
// asked every MESH_CHECK_BYTES handed out, and the rows done are known at any
// time, so their progress lines can follow in row order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "terrain/terrain_mesh.h"

// Cells first to end - 1, numbered in list order (row by row).
struct MeshPiece {
    uint64_t first = 0, end = 0;
};

class MeshSchedule {
public:
    using Clock = std::chrono::steady_clock;

    // The mesh of `rows` rows of `columns` cells, filled by `threads`
    // threads, numbered 0 to threads - 1; at most `piece_cells` a piece.
    MeshSchedule(uint64_t columns, uint64_t rows, int threads, const MeshBuildCheck& check,
                 uint64_t piece_cells = PIECE_CELLS_MAX);

    // The next piece for thread `slot`, which has filled its last one
    // (filled()); false when there is none to take before `deadline`: all
    // are handed out, the build has stopped, or another thread is asking the
    // check. Asks the check itself when it is due.
    bool take(int slot, MeshPiece& piece, Clock::time_point deadline = Clock::time_point::max());
    // Thread `slot` has filled the piece it took.
    void filled(int slot);
    // Stops the build: no more pieces go out.
    void cancel();

    struct Progress {
        uint64_t rows_done;  // rows whose every cell is filled, from the top
        uint64_t filled;     // cells filled
        bool over;           // stopped, or every cell filled
    };
    Progress progress();
    // Waits until more than `filled` cells are filled or the build stops, or
    // `deadline` passes.
    void wait(uint64_t filled, Clock::time_point deadline);

    // Cells a piece holds at most: about 1.7 MB of mesh, a millisecond or
    // two of work, so the thread that also prints and watches is never away
    // from that long.
    static constexpr uint64_t PIECE_CELLS_MAX = 8192;

private:
    static constexpr uint64_t IDLE = UINT64_MAX;
    MeshPiece cut_piece() const;

    const uint64_t columns_, rows_, cells_, piece_cells_;
    const MeshBuildCheck& check_;
    std::mutex lock_;
    std::condition_variable changed_;
    uint64_t handed_out_ = 0;        // cells handed out, from the first
    uint64_t cleared_ = 0;           // cells the check has cleared to be handed out
    uint64_t filled_ = 0;            // cells filled
    std::vector<MeshPiece> taken_;   // each thread's piece; first IDLE when none
    bool checking_ = false, stopped_ = false;
};
