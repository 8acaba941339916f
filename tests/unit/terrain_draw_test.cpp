#include "terrain/terrain_draw.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

TEST(DrawSlices, WholeCellsBelowTheBoundAndAtLeastOne) {
    const size_t cell = 6 * sizeof(TerrainVertex);  // 216 bytes
    const struct {
        size_t max_bytes, vertices;
    } cases[] = {
        {MAX_DRAW_BYTES, 9942053 * 6},  // 2147483448 bytes; one cell more would reach 2^31
        {cell + 1, 6},
        {cell, 6},  // a cell never fits below its own size, yet one is drawn
        {0, 6},
        {10 * cell, 9 * 6},
        {10 * cell + 1, 10 * 6},
        {SIZE_MAX, INT_MAX / 6 * 6},  // a call counts its vertices in an int
    };
    for (const auto& c : cases) EXPECT_EQ(vertices_per_draw(c.max_bytes), c.vertices) << c.max_bytes;
    EXPECT_LT(vertices_per_draw(MAX_DRAW_BYTES) * sizeof(TerrainVertex), MAX_DRAW_BYTES);
    EXPECT_GE((vertices_per_draw(MAX_DRAW_BYTES) + 6) * sizeof(TerrainVertex), MAX_DRAW_BYTES);
}
