// Blocks of cells against the clip volume. The boxes form a pyramid: the
// leaves are blocks of BLOCK_CELLS x BLOCK_CELLS cells, each level above
// holds the boxes of 2 x 2 blocks of the level below, and the search starts
// at the top, so whole quarters of the terrain go at one test.

#include "terrain/visible_cells.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "engine/worker_threads.h"

namespace {

// How far outside a plane a box must lie before it is left out, relative to
// the size of the terms summed: the renderer works in single precision,
// through the projection and the view one after the other, which puts its
// answer within a few millionths of the sum's size of this one.
constexpr double PLANE_MARGIN = 1e-4;

CellBox empty_box() {
    const float inf = std::numeric_limits<float>::infinity();
    return {{inf, inf, inf}, {-inf, -inf, -inf}};
}

void grow(CellBox& box, const float point[3]) {
    for (int axis = 0; axis < 3; axis++) {
        box.min[axis] = std::min(box.min[axis], point[axis]);
        box.max[axis] = std::max(box.max[axis], point[axis]);
    }
}

// Grows `box` by `count` vertices from `first`: x, y, z and u side by side
// in one vector register, so a vertex costs one minimum and one maximum.
void grow(CellBox& box, const TerrainVertex* first, size_t count) {
    typedef float Four __attribute__((vector_size(16)));
    static_assert(offsetof(TerrainVertex, x) == 0 && offsetof(TerrainVertex, y) == 4 && offsetof(TerrainVertex, z) == 8);
    Four low = {box.min[0], box.min[1], box.min[2], 0}, high = {box.max[0], box.max[1], box.max[2], 0};
    for (const TerrainVertex* vertex = first; vertex < first + count; vertex++) {
        Four point;
        memcpy(&point, vertex, sizeof point);
        low = point < low ? point : low;  // as std::min(low, point)
        high = high < point ? point : high;
    }
    for (int axis = 0; axis < 3; axis++) box.min[axis] = low[axis], box.max[axis] = high[axis];
}

void grow(CellBox& box, const CellBox& other) {
    grow(box, other.min);
    grow(box, other.max);
}

}  // namespace

ClipVolume clip_volume(const ALLEGRO_TRANSFORM& view, const ALLEGRO_TRANSFORM& projection) {
    // A point (x, y, z, 1) times view then projection, rows as in the library:
    // clip coordinate j = sum over i of point[i] * m[i][j].
    double m[4][4];
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 4; j++) {
            m[i][j] = 0;
            for (int k = 0; k < 4; k++) m[i][j] += double(view.m[i][k]) * double(projection.m[k][j]);
        }
    ClipVolume volume;
    // w + x, w - x, w + y, w - y, w + z, w - z: the near and far planes last.
    for (int axis = 0; axis < 3; axis++)
        for (int side = 0; side < 2; side++) {
            const double sign = side == 0 ? 1 : -1;
            for (int i = 0; i < 4; i++) volume.plane[axis * 2 + side][i] = m[i][3] + sign * m[i][axis];
        }
    return volume;
}

bool box_outside(const ClipVolume& volume, const CellBox& box) {
    for (const auto& p : volume.plane) {
        // The box's corner farthest along the plane's normal, and the size
        // of the terms that sum to its distance.
        double farthest = p[3], size = std::fabs(p[3]);
        for (int axis = 0; axis < 3; axis++) {
            farthest += p[axis] * (p[axis] > 0 ? box.max[axis] : box.min[axis]);
            size += std::fabs(p[axis]) * std::max(std::fabs(box.min[axis]), std::fabs(box.max[axis]));
        }
        if (farthest < -PLANE_MARGIN * size) return true;
    }
    return false;
}

void add_cell_run(std::vector<CellRun>& runs, size_t first, size_t count, size_t bridge) {
    if (!runs.empty()) {
        CellRun& last = runs.back();
        if (first <= last.first + last.count + bridge) {
            last.count = first + count - last.first;
            return;
        }
    }
    runs.push_back({first, count});
}

namespace {

// Whether `vertices` are the mesh of columns x rows cells: their count, and
// the last cell of the first row and of the last where the layout puts them.
bool mesh_fits(const TerrainVertices& vertices, size_t columns, size_t rows) {
    size_t cells;
    if (__builtin_mul_overflow(columns, rows, &cells) || vertices.size() / VERTICES_PER_CELL != cells ||
        vertices.size() % VERTICES_PER_CELL != 0)
        return false;
    const auto starts_at = [&vertices](size_t cell, float column, float row) {
        const TerrainVertex& corner = vertices[cell * VERTICES_PER_CELL];
        return corner.u == column && corner.v == row;
    };
    const float last_column = float(columns - 1), last_row = float(rows - 1);
    return cells == 0 || (starts_at(columns - 1, last_column, 0) && starts_at(cells - 1, last_column, last_row));
}

}  // namespace

CellBlocks::CellBlocks(const TerrainVertices& vertices, size_t columns, size_t rows, int threads) {
    if (!mesh_fits(vertices, columns, rows)) {
        fits_ = false;
        return;
    }
    *this = CellBlocks(columns, rows);
    // Rows of blocks on every core, each taken whole by one thread.
    std::atomic<size_t> next_block_row{0};
    const size_t block_rows = levels_.empty() ? 0 : levels_.front().rows;
    run_on_threads(threads > 0 ? threads : mesh_build_threads(), [&](int) {
        for (size_t block_row; (block_row = next_block_row++) < block_rows;)
            for (size_t row = block_row * BLOCK_CELLS; row < std::min(rows, (block_row + 1) * BLOCK_CELLS); row++)
                add_cells(vertices, row * columns, columns);
    });
    finish(vertices);
}

CellBlocks::CellBlocks(size_t columns, size_t rows) : columns_(columns), rows_(rows) {
    size_t cells;
    if (__builtin_mul_overflow(columns, rows, &cells) || cells == 0) return;
    Level leaves;
    leaves.columns = (columns + BLOCK_CELLS - 1) / BLOCK_CELLS;
    leaves.rows = (rows + BLOCK_CELLS - 1) / BLOCK_CELLS;
    leaves.boxes.assign(leaves.columns * leaves.rows, empty_box());
    levels_.push_back(std::move(leaves));
    adding_.reset(new std::mutex[ADDING_LOCKS]);
}

void CellBlocks::add_cells(const TerrainVertices& vertices, size_t first, size_t count) {
    if (!adding_ || first + count > columns_ * rows_ || vertices.size() < (first + count) * VERTICES_PER_CELL) return;
    Level& leaves = levels_.front();
    for (const size_t end = first + count; first < end;) {
        // Up to the end of the row or of the cells told, a block at a time.
        const size_t row = first / columns_, row_end = std::min(end, (row + 1) * columns_);
        CellBox* boxes = &leaves.boxes[row / BLOCK_CELLS * leaves.columns];
        std::lock_guard<std::mutex> hold(adding_[row / BLOCK_CELLS % ADDING_LOCKS]);
        while (first < row_end) {
            const size_t column = first % columns_;
            const size_t block_end = std::min(row_end, first + BLOCK_CELLS - column % BLOCK_CELLS);
            grow(boxes[column / BLOCK_CELLS], vertices.data() + first * VERTICES_PER_CELL,
                 (block_end - first) * VERTICES_PER_CELL);
            first = block_end;
        }
    }
}

void CellBlocks::finish(const TerrainVertices& vertices) {
    adding_.reset();
    fits_ = mesh_fits(vertices, columns_, rows_);
    if (!fits_ || levels_.empty()) {
        // No cells, or no mesh of this size: nothing to find.
        levels_.clear();
        columns_ = rows_ = 0;
        return;
    }
    while (levels_.back().boxes.size() > 1) {
        const Level& below = levels_.back();
        Level above;
        above.columns = (below.columns + 1) / 2;
        above.rows = (below.rows + 1) / 2;
        above.boxes.assign(above.columns * above.rows, empty_box());
        for (size_t row = 0; row < below.rows; row++)
            for (size_t column = 0; column < below.columns; column++)
                grow(above.boxes[row / 2 * above.columns + column / 2], below.boxes[row * below.columns + column]);
        levels_.push_back(std::move(above));
    }
}

size_t CellBlocks::bytes() const {
    size_t total = sizeof *this;
    for (const Level& level : levels_) total += sizeof level + level.boxes.capacity() * sizeof(CellBox);
    return total;
}

void CellBlocks::find(const ClipVolume& volume, size_t level, size_t column, size_t row,
                      std::vector<size_t>& leaves) const {
    const Level& here = levels_[level];
    if (box_outside(volume, here.boxes[row * here.columns + column])) return;
    if (level == 0) {
        leaves.push_back(row * here.columns + column);
        return;
    }
    const Level& below = levels_[level - 1];
    for (size_t r = row * 2; r < std::min(row * 2 + 2, below.rows); r++)
        for (size_t c = column * 2; c < std::min(column * 2 + 2, below.columns); c++) find(volume, level - 1, c, r, leaves);
}

void CellBlocks::visible_runs(const ClipVolume& volume, std::vector<CellRun>& runs, size_t bridge) const {
    runs.clear();
    if (levels_.empty()) return;
    std::vector<size_t>& leaves = leaves_;
    leaves.clear();
    find(volume, levels_.size() - 1, 0, 0, leaves);
    // Row by row of blocks, then row by row of cells within them: list order.
    std::sort(leaves.begin(), leaves.end());
    const size_t block_columns = levels_.front().columns;
    for (size_t first = 0; first < leaves.size();) {
        const size_t block_row = leaves[first] / block_columns;
        size_t end = first;
        while (end < leaves.size() && leaves[end] / block_columns == block_row) end++;
        const size_t last_row = std::min(rows_, (block_row + 1) * BLOCK_CELLS);
        for (size_t row = block_row * BLOCK_CELLS; row < last_row; row++) {
            for (size_t k = first; k < end; k++) {
                const size_t column = leaves[k] % block_columns * BLOCK_CELLS;
                add_cell_run(runs, row * columns_ + column, std::min(BLOCK_CELLS, columns_ - column), bridge);
            }
        }
        first = end;
    }
}
