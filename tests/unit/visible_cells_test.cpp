// Which cells can reach the window, on plain vertex arrays: the clip volume
// against the library's own transform of a point, and the block search
// against testing every cell on its own.
#include "terrain/visible_cells.h"

#include <allegro5/allegro.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/frame_loop.h"
#include "terrain/terrain_draw.h"
#include "camera/camera.h"
#include "test_files.h"

namespace {

// A columns x rows mesh laid out as the viewer lays it out, with random
// heights from -156 to 99 and, here and there, a needle up to 400.
std::vector<TerrainVertex> random_mesh(size_t columns, size_t rows, unsigned seed) {
    Lcg random(seed);
    std::vector<float> height((columns + 1) * (rows + 1));
    for (float& h : height) h = random.next() % 50 == 0 ? 400.0f : float(int(random.next() % 256) - 156);
    auto corner = [&](size_t c, size_t r) {
        return TerrainVertex{float(c) - 20, height[r * (columns + 1) + c], float(r) - 20, 0, 0, {0, 0, 0, 1}};
    };
    std::vector<TerrainVertex> mesh;
    for (size_t r = 0; r < rows; r++)
        for (size_t c = 0; c < columns; c++)
            for (const TerrainVertex& v : {corner(c, r), corner(c, r + 1), corner(c + 1, r), corner(c, r + 1),
                                           corner(c + 1, r), corner(c + 1, r + 1)})
                mesh.push_back(v);
    return mesh;
}

CellBox box_of_cell(const std::vector<TerrainVertex>& mesh, size_t cell) {
    CellBox box = {{1e30f, 1e30f, 1e30f}, {-1e30f, -1e30f, -1e30f}};
    for (size_t k = cell * VERTICES_PER_CELL; k < (cell + 1) * VERTICES_PER_CELL; k++) {
        const float p[3] = {mesh[k].x, mesh[k].y, mesh[k].z};
        for (int a = 0; a < 3; a++) box.min[a] = std::min(box.min[a], p[a]), box.max[a] = std::max(box.max[a], p[a]);
    }
    return box;
}

// The viewer's clip volume for a camera at (x, y, z), turned by yaw and pitch.
ClipVolume volume_of(double x, double y, double z, double yaw, double pitch) {
    Camera camera;
    camera.set_fov(START_FOV);
    camera.x = x, camera.y = y, camera.z = z, camera.yaw = yaw, camera.pitch = pitch;
    const ALLEGRO_TRANSFORM projection = camera.projection_for(800, 600), view = camera.view();
    return clip_volume(view, projection);
}

}  // namespace

TEST(ClipVolume, PlanesAgreeWithTheLibrarysOwnTransformOfAPoint) {
    Lcg random(3);
    const Frustum f = frustum_for(START_FOV, 800, 600);
    int inside = 0, outside = 0;
    for (int i = 0; i < 20000; i++) {
        Camera camera;
        camera.set_fov(START_FOV);
        camera.yaw = random.next() % 360, camera.pitch = int(random.next() % 181) - 90;
        ALLEGRO_TRANSFORM both = camera.view();
        const ALLEGRO_TRANSFORM projection = camera.projection_for(800, 600), turn = both;
        const ClipVolume volume = clip_volume(both, projection);
        al_compose_transform(&both, &projection);
        // A point in and around the window, from before the near plane to
        // beyond the far one, turned back into the world (a turn's inverse
        // is its transpose).
        const double across = (random.next() % 1401) / 1000.0 - 0.2, up = (random.next() % 1401) / 1000.0 - 0.2;
        const double depth = (random.next() % 30000) / 10.0;
        const double eye[3] = {(f.left + across * (f.right - f.left)) * depth / f.near_z,
                               (f.bottom + up * (f.top - f.bottom)) * depth / f.near_z, -depth};
        float point[3] = {0, 0, 0};
        for (int a = 0; a < 3; a++)
            for (int j = 0; j < 3; j++) point[a] += float(turn.m[a][j] * eye[j]);
        float x = point[0], y = point[1], z = point[2], w = 1;
        al_transform_coordinates_4d(&both, &x, &y, &z, &w);
        // A point clearly inside is never left out; one clearly outside is,
        // unless it lies within the planes' margin for rounding.
        const double edge = std::min({w - x, w + x, w - y, w + y, w - z, w + z});
        const CellBox box = {{point[0], point[1], point[2]}, {point[0], point[1], point[2]}};
        if (edge > 1e-3 * std::fabs(w)) {
            EXPECT_FALSE(box_outside(volume, box)) << "inside: " << point[0] << ", " << point[1] << ", " << point[2];
            inside++;
        } else if (edge < -1e-2 * std::fabs(w)) {
            EXPECT_TRUE(box_outside(volume, box)) << "outside: " << point[0] << ", " << point[1] << ", " << point[2];
            outside++;
        }
    }
    EXPECT_GT(inside, 1000);
    EXPECT_GT(outside, 5000);
}

TEST(ClipVolume, ABoxIsOutsideOnlyWhenWhollyBeyondOnePlane) {
    // Looking from the origin at yaw 0, pitch 0: the window lies up and to
    // the left (-x, +y) along -z, and ends at the far plane, 1337 away.
    const ClipVolume volume = volume_of(0, 0, 0, 0, 0);
    const struct {
        const char* name;
        CellBox box;
        bool outside;
    } cases[] = {
        {"in the window", {{-60, 50, -20}, {-40, 70, -15}}, false},
        {"behind the camera", {{-60, 50, 1}, {-40, 70, 20}}, true},
        {"to the right", {{10, 50, -20}, {30, 70, -15}}, true},
        {"below", {{-60, -70, -20}, {-40, -50, -15}}, true},
        {"beyond the far plane", {{-5000, 5000, -2000}, {-4000, 6000, -1500}}, true},
        {"round the camera", {{-1, -1, -1}, {1, 1, 1}}, false},
        {"across the far plane", {{-5000, 5000, -2000}, {0, 0, 0}}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(box_outside(volume, c.box), c.outside) << c.name;
}

TEST(CellRuns, JoinWhenTheyTouchOrLieWithinTheBridge) {
    const struct {
        const char* name;
        std::vector<CellRun> added;
        size_t bridge;
        std::vector<std::pair<size_t, size_t>> runs;  // first, count
    } cases[] = {
        {"apart", {{0, 4}, {10, 2}}, 0, {{0, 4}, {10, 2}}},
        {"touching", {{0, 4}, {4, 2}}, 0, {{0, 6}}},
        {"a gap of the bridge", {{0, 4}, {10, 2}}, 6, {{0, 12}}},
        {"a gap one wider", {{0, 4}, {11, 2}}, 6, {{0, 4}, {11, 2}}},
        {"three in a row", {{0, 1}, {1, 1}, {2, 1}, {9, 3}}, 0, {{0, 3}, {9, 3}}},
    };
    for (const auto& c : cases) {
        std::vector<CellRun> runs;
        for (const CellRun& run : c.added) add_cell_run(runs, run.first, run.count, c.bridge);
        std::vector<std::pair<size_t, size_t>> got;
        for (const CellRun& run : runs) got.push_back({run.first, run.count});
        EXPECT_EQ(got, c.runs) << c.name;
    }
}

TEST(CellBlocks, EveryLeafBoxHoldsItsCellsAndNoMore) {
    // Sizes that do and do not fill their last blocks.
    for (size_t columns : {1u, 16u, 37u}) {
        const size_t rows = 23;
        const std::vector<TerrainVertex> mesh = random_mesh(columns, rows, unsigned(columns));
        const CellBlocks blocks(mesh, columns);
        ASSERT_EQ(blocks.rows(), rows);
        for (size_t by = 0; by * BLOCK_CELLS < rows; by++)
            for (size_t bx = 0; bx * BLOCK_CELLS < columns; bx++) {
                CellBox want = {{1e30f, 1e30f, 1e30f}, {-1e30f, -1e30f, -1e30f}};
                for (size_t r = by * BLOCK_CELLS; r < std::min(rows, (by + 1) * BLOCK_CELLS); r++)
                    for (size_t c = bx * BLOCK_CELLS; c < std::min(columns, (bx + 1) * BLOCK_CELLS); c++) {
                        const CellBox cell = box_of_cell(mesh, r * columns + c);
                        for (int a = 0; a < 3; a++) {
                            want.min[a] = std::min(want.min[a], cell.min[a]);
                            want.max[a] = std::max(want.max[a], cell.max[a]);
                        }
                    }
                const CellBox& got = blocks.leaf(bx, by);
                for (int a = 0; a < 3; a++) {
                    EXPECT_EQ(got.min[a], want.min[a]) << columns << " columns, block " << bx << ", " << by;
                    EXPECT_EQ(got.max[a], want.max[a]) << columns << " columns, block " << bx << ", " << by;
                }
            }
    }
}

TEST(CellBlocks, RunsHoldEveryCellThatIsNotWhollyOutsideInListOrder) {
    const size_t columns = 150, rows = 130;
    const std::vector<TerrainVertex> mesh = random_mesh(columns, rows, 9);
    const CellBlocks blocks(mesh, columns);
    EXPECT_LT(blocks.bytes() * 100, mesh.size() * sizeof(TerrainVertex));  // under 1 % of the mesh
    Lcg random(4);
    size_t seen_cells = 0, drawn_cells = 0;
    for (int view = 0; view < 300; view++) {
        // From within and around the terrain, at every angle.
        const ClipVolume volume = volume_of(int(random.next() % 300) - 100.0, int(random.next() % 400) - 200.0,
                                            int(random.next() % 300) - 100.0, random.next() % 360,
                                            int(random.next() % 181) - 90.0);
        std::vector<CellRun> runs;
        blocks.visible_runs(volume, runs, 0);
        std::vector<bool> drawn(columns * rows, false);
        for (size_t i = 0; i < runs.size(); i++) {
            if (i > 0) {
                EXPECT_GT(runs[i].first, runs[i - 1].first + runs[i - 1].count);  // ordered, apart
            }
            ASSERT_LE(runs[i].first + runs[i].count, drawn.size());
            for (size_t cell = runs[i].first; cell < runs[i].first + runs[i].count; cell++) drawn[cell] = true;
        }
        for (size_t cell = 0; cell < drawn.size(); cell++) {
            const bool seen = !box_outside(volume, box_of_cell(mesh, cell));
            if (seen) {
                EXPECT_TRUE(drawn[cell]) << "cell " << cell << " left out in view " << view;
            }
            seen_cells += seen;
            drawn_cells += drawn[cell];
        }
    }
    EXPECT_GT(seen_cells, 1000u);
    EXPECT_LT(drawn_cells * 2, columns * rows * 300);  // and most of the terrain is left out
}

TEST(CellBlocks, AnEmptyMeshHasNoRuns) {
    for (size_t columns : {0u, 5u}) {
        const CellBlocks blocks(std::vector<TerrainVertex>(), columns);
        std::vector<CellRun> runs = {{1, 1}};
        blocks.visible_runs(volume_of(0, 0, 0, 0, 0), runs);
        EXPECT_TRUE(runs.empty());
    }
}
