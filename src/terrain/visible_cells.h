// Which cells of the terrain mesh can reach the window. The camera's window
// is narrow and ends at the far plane, so most frames see a small part of a
// large terrain: blocks of cells with their bounding boxes, built once with
// the mesh, are tested against the clip volume each frame, and the cells of
// the blocks that may be seen come out as runs in the mesh's own order.
//
// A cell is left out only when its block lies wholly outside one plane of the
// clip volume, with a margin for the renderer's rounding, so the cells drawn
// paint exactly the pixels the whole mesh paints. Runs may also take in cells
// that cannot be seen, to save draw calls: those paint nothing.
#pragma once

#include <allegro5/allegro.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "terrain/terrain_mesh.h"

// An axis-aligned box in world units.
struct CellBox {
    float min[3], max[3];  // x, y, z
};

// The six planes of the clip volume in world coordinates: a point (x, y, z)
// is inside plane p when p[0] x + p[1] y + p[2] z + p[3] >= 0.
struct ClipVolume {
    double plane[6][4];
};

// The clip volume of `view` followed by `projection`, as the renderer applies
// them (-w <= x, y, z <= w in clip coordinates).
ClipVolume clip_volume(const ALLEGRO_TRANSFORM& view, const ALLEGRO_TRANSFORM& projection);

// Whether `box` lies wholly outside one plane of `volume`, by more than the
// rounding of single-precision arithmetic could move it.
bool box_outside(const ClipVolume& volume, const CellBox& box);

// Cells `first` to `first + count - 1`, numbered in list order (row by row).
struct CellRun {
    size_t first, count;
};

// Appends the cells `first`..`first + count - 1` to `runs`, joined to the last
// run when the gap between them is at most `bridge` cells. Runs come in
// ascending order.
void add_cell_run(std::vector<CellRun>& runs, size_t first, size_t count, size_t bridge);

// Cells a leaf block holds on a side, and the most cells two runs may lie apart
// and still be drawn in one call: a call costs about as much as the
// renderer's work on that many cells that lie outside the window.
constexpr size_t BLOCK_CELLS = 16;
constexpr size_t RUN_BRIDGE_CELLS = 64;

// Boxes of blocks of cells, BLOCK_CELLS on a side, and of blocks of those
// blocks, 2 x 2 at a time, up to one box for the whole mesh.
class CellBlocks {
public:
    CellBlocks() = default;  // no cells
    // The bounds of the mesh `vertices`, `columns` x `rows` cells laid out as
    // build_terrain_mesh lays them: VERTICES_PER_CELL a cell, row by row,
    // u and v the corner's column and row. A mesh of another size or layout
    // (the sides swapped, say) gets no blocks, and fits() is false. Read on
    // `threads` threads, the calling one included (0: mesh_build_threads()).
    CellBlocks(const TerrainVertices& vertices, size_t columns, size_t rows, int threads = 0);

    // The same, for a mesh of `columns` x `rows` cells being filled: the
    // boxes grow as add_cells is told of its cells, while they are fresh in
    // the cache, and finish() ends them.
    CellBlocks(size_t columns, size_t rows);
    // Grows the boxes by cells first to first + count - 1 of `vertices`
    // (numbered row by row); several threads may add different cells at once.
    void add_cells(const TerrainVertices& vertices, size_t first, size_t count);
    // Once every cell is added: checks that `vertices` fit, as the
    // constructor above does, and builds the boxes above the leaves.
    void finish(const TerrainVertices& vertices);

    bool fits() const { return fits_; }          // the mesh was the size and layout given
    size_t columns() const { return columns_; }  // cells a row
    size_t rows() const { return rows_; }        // rows of cells

    // The runs of cells whose blocks may reach inside `volume`, in list order,
    // joined across gaps of at most `bridge` cells (replaces `runs`).
    void visible_runs(const ClipVolume& volume, std::vector<CellRun>& runs,
                      size_t bridge = RUN_BRIDGE_CELLS) const;

    size_t bytes() const;  // memory the boxes take

private:
    struct Level {
        size_t columns = 0, rows = 0;  // blocks
        std::vector<CellBox> boxes;    // row by row
    };
    void find(const ClipVolume& volume, size_t level, size_t column, size_t row,
              std::vector<size_t>& leaves) const;

    bool fits_ = true;
    size_t columns_ = 0, rows_ = 0;
    std::vector<Level> levels_;  // the leaves first, the whole mesh last
    // While cells are added: a lock for each of a few rows of leaf blocks in
    // turn, so threads adding the same row of blocks take turns.
    static constexpr size_t ADDING_LOCKS = 64;
    std::unique_ptr<std::mutex[]> adding_;
    // The leaf blocks found in a frame: kept, so frames after the first
    // allocate nothing (one search at a time).
    mutable std::vector<size_t> leaves_;
};
