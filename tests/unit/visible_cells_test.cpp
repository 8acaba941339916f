// Which cells can reach the window, on plain vertex arrays: the clip volume
// against the library's own transform of a point, and the block search
// against testing every cell on its own.
#include "terrain/visible_cells.h"

#include <allegro5/allegro.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "app/frame_loop.h"
#include "terrain/terrain_draw.h"
#include "camera/camera.h"
#include "test_files.h"

namespace {

// A columns x rows mesh laid out as the viewer lays it out, with random
// heights from -156 to 99 and, here and there, a needle up to 400; or, with
// a tilt, heights that rise tilt_x a column and tilt_z a row, so that each
// block is highest and lowest at two of its corners.
TerrainVertices random_mesh(size_t columns, size_t rows, unsigned seed, int tilt_x = 0, int tilt_z = 0) {
    Lcg random(seed);
    std::vector<float> height((columns + 1) * (rows + 1));
    for (float& h : height) h = random.next() % 50 == 0 ? 400.0f : float(int(random.next() % 256) - 156);
    if (tilt_x || tilt_z)
        for (size_t i = 0; i < height.size(); i++)
            height[i] = float(tilt_x * int(i % (columns + 1)) + tilt_z * int(i / (columns + 1)));
    auto corner = [&](size_t c, size_t r) {
        return TerrainVertex{float(c) - 20, height[r * (columns + 1) + c], float(r) - 20, float(c), float(r),
                             {0, 0, 0, 1}};
    };
    TerrainVertices mesh;
    for (size_t r = 0; r < rows; r++)
        for (size_t c = 0; c < columns; c++)
            for (const TerrainVertex& v : {corner(c, r), corner(c, r + 1), corner(c + 1, r), corner(c, r + 1),
                                           corner(c + 1, r), corner(c + 1, r + 1)})
                mesh.push_back(v);
    return mesh;
}

// The viewer's camera at (x, y, z), turned by yaw and pitch: its clip
// volume, and its view and projection as the library composes them.
struct View {
    ClipVolume volume;
    ALLEGRO_TRANSFORM view, both;
};
View view_of(double x, double y, double z, double yaw, double pitch) {
    Camera camera;
    camera.set_fov(START_FOV);
    camera.x = x, camera.y = y, camera.z = z, camera.yaw = yaw, camera.pitch = pitch;
    const ALLEGRO_TRANSFORM projection = camera.projection_for(800, 600);
    View view{{}, camera.view(), camera.view()};
    view.volume = clip_volume(view.view, projection);
    al_compose_transform(&view.both, &projection);
    return view;
}

// Whether the cell may paint a pixel, by the library's own transform of its
// six corners: not when all of them lie beyond one side of the clip volume.
bool cell_reaches_window(const TerrainVertices& mesh, size_t cell, const ALLEGRO_TRANSFORM& both) {
    bool beyond[6] = {true, true, true, true, true, true};
    for (size_t k = cell * VERTICES_PER_CELL; k < (cell + 1) * VERTICES_PER_CELL; k++) {
        float x = mesh[k].x, y = mesh[k].y, z = mesh[k].z, w = 1;
        al_transform_coordinates_4d(&both, &x, &y, &z, &w);
        const float sides[6] = {w + x, w - x, w + y, w - y, w + z, w - z};
        for (int i = 0; i < 6; i++) beyond[i] = beyond[i] && sides[i] < 0;
    }
    return std::none_of(beyond, beyond + 6, [](bool b) { return b; });
}

// A clip volume of one plane, a x[axis] >= at (a = 1 or -1); the other five
// hold everywhere.
ClipVolume half_space(int axis, double a, double at) {
    ClipVolume volume;
    for (auto& p : volume.plane) p[0] = p[1] = p[2] = 0, p[3] = 1;
    volume.plane[0][axis] = a;
    volume.plane[0][3] = -a * at;
    return volume;
}

}  // namespace

TEST(ClipVolume, PlanesAgreeWithTheLibrarysOwnTransformOfAPoint) {
    Lcg random(3);
    const Frustum f = frustum_for(START_FOV, 800, 600);
    int inside = 0, outside = 0;
    for (int i = 0; i < 20000; i++) {
        const double yaw = random.next() % 360;
        const View view = view_of(0, 0, 0, yaw, int(random.next() % 181) - 90);
        // A point in and around the window, from before the near plane to
        // beyond the far one, turned back into the world (a turn's inverse
        // is its transpose).
        const double across = (random.next() % 1401) / 1000.0 - 0.2, up = (random.next() % 1401) / 1000.0 - 0.2;
        const double depth = (random.next() % 30000) / 10.0;
        const double eye[3] = {(f.left + across * (f.right - f.left)) * depth / f.near_z,
                               (f.bottom + up * (f.top - f.bottom)) * depth / f.near_z, -depth};
        float point[3] = {0, 0, 0};
        for (int a = 0; a < 3; a++)
            for (int j = 0; j < 3; j++) point[a] += float(view.view.m[a][j] * eye[j]);
        float x = point[0], y = point[1], z = point[2], w = 1;
        al_transform_coordinates_4d(&view.both, &x, &y, &z, &w);
        // A point clearly inside is never left out; one clearly outside is,
        // unless it lies within the planes' margin for rounding.
        const double edge = std::min({w - x, w + x, w - y, w + y, w - z, w + z});
        const CellBox box = {{point[0], point[1], point[2]}, {point[0], point[1], point[2]}};
        if (edge > 1e-3 * std::fabs(w)) {
            EXPECT_FALSE(box_outside(view.volume, box)) << "inside: " << point[0] << ", " << point[1] << ", " << point[2];
            inside++;
        } else if (edge < -1e-2 * std::fabs(w)) {
            EXPECT_TRUE(box_outside(view.volume, box)) << "outside: " << point[0] << ", " << point[1] << ", " << point[2];
            outside++;
        }
    }
    EXPECT_GT(inside, 1000);
    EXPECT_GT(outside, 5000);
}

TEST(ClipVolume, ABoxIsOutsideOnlyWhenWhollyBeyondOnePlane) {
    // Looking from the origin at yaw 0, pitch 0: the window lies up and to
    // the left (-x, +y) along -z, and ends at the far plane, 1337 away.
    const ClipVolume volume = view_of(0, 0, 0, 0, 0).volume;
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

TEST(ClipVolume, TheMarginKeepsWhatTheRendererMayDrawAndNoMore) {
    // Points a hair either side of one plane, by the planes' own arithmetic:
    // the library's single-precision transform puts some of those just
    // outside on the inside, and they must be kept; points outside by a few
    // ten-thousandths of the terms' size are left out.
    Lcg random(17);
    int kept_for_rounding = 0, left_out = 0;
    const double offsets[] = {-5e-4, -3e-4, -1e-6, -5e-7, -3e-7, -2e-7, -1e-7, -5e-8, 0, 1e-7};
    for (int i = 0; i < 100000; i++) {
        const View view = view_of(int(random.next() % 400) - 200.0, int(random.next() % 400) - 200.0,
                                  int(random.next() % 400) - 200.0, random.next() % 360,
                                  int(random.next() % 181) - 90.0);
        const double* p = view.volume.plane[random.next() % 6];
        double point[3], norm = 0, size = std::fabs(p[3]);
        for (int a = 0; a < 3; a++) point[a] = int(random.next() % 2000) - 1000.0, norm += p[a] * p[a];
        // Onto the plane, then off it by the offset times the size of the terms.
        const double onto = -(p[0] * point[0] + p[1] * point[1] + p[2] * point[2] + p[3]) / norm;
        for (int a = 0; a < 3; a++) point[a] += onto * p[a], size += std::fabs(p[a] * point[a]);
        const double offset = offsets[random.next() % 10] * size / norm;
        const float at[3] = {float(point[0] + offset * p[0]), float(point[1] + offset * p[1]),
                             float(point[2] + offset * p[2])};
        const CellBox box = {{at[0], at[1], at[2]}, {at[0], at[1], at[2]}};
        const double distance = p[0] * at[0] + p[1] * at[1] + p[2] * at[2] + p[3];
        float x = at[0], y = at[1], z = at[2], w = 1;
        al_transform_coordinates_4d(&view.both, &x, &y, &z, &w);
        if (std::min({w + x, w - x, w + y, w - y, w + z, w - z}) >= 0) {
            EXPECT_FALSE(box_outside(view.volume, box)) << "drawn by the library: " << at[0] << ", " << at[1] << ", "
                                                        << at[2] << ", " << distance / size << " of the size out";
            kept_for_rounding += distance < 0;
        } else if (distance < -2e-4 * size) {
            EXPECT_TRUE(box_outside(view.volume, box)) << at[0] << ", " << at[1] << ", " << at[2];
            left_out++;
        }
    }
    EXPECT_GT(kept_for_rounding, 20);  // the margin is needed
    EXPECT_GT(left_out, 1000);
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

TEST(CellBlocks, EachBlockIsKeptExactlyAsFarAsItsCellsReach) {
    // Sizes that do and do not fill their last blocks, rough and tilted every
    // way. A half space that reaches just inside a block's farthest corner
    // along each axis keeps all of its cells; one that stops half a unit short
    // of it keeps none.
    // Read from the whole mesh on one thread or several, or grown from its
    // cells told a few at a time, out of order, by two threads at once.
    const int tilts[][2] = {{0, 0}, {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
    for (size_t columns : {1u, 16u, 37u})
        for (const auto& tilt : tilts)
            for (int threads : {1, 3, 0}) {
                const size_t rows = 23;
                const TerrainVertices mesh = random_mesh(columns, rows, unsigned(columns), tilt[0], tilt[1]);
                CellBlocks blocks = threads ? CellBlocks(mesh, columns, rows, threads) : CellBlocks(columns, rows);
                if (!threads) {
                    const size_t cells = columns * rows, chunk = 7;
                    std::vector<size_t> last_first;  // this thread's chunks, the last first
                    for (size_t first = 0; first < cells; first += 2 * chunk) last_first.insert(last_first.begin(), first);
                    std::thread other([&] {
                        for (size_t first = chunk; first < cells; first += 2 * chunk)
                            blocks.add_cells(mesh, first, std::min(chunk, cells - first));
                    });
                    for (size_t first : last_first) blocks.add_cells(mesh, first, std::min(chunk, cells - first));
                    other.join();
                    blocks.finish(mesh);
                }
                ASSERT_TRUE(blocks.fits());
                ASSERT_EQ(blocks.rows(), rows);
                std::vector<CellRun> runs;
                for (size_t by = 0; by * BLOCK_CELLS < rows; by++)
                    for (size_t bx = 0; bx * BLOCK_CELLS < columns; bx++) {
                        std::vector<size_t> cells;
                        for (size_t r = by * BLOCK_CELLS; r < std::min(rows, (by + 1) * BLOCK_CELLS); r++)
                            for (size_t c = bx * BLOCK_CELLS; c < std::min(columns, (bx + 1) * BLOCK_CELLS); c++)
                                cells.push_back(r * columns + c);
                        for (int axis = 0; axis < 3; axis++)
                            for (double a : {1.0, -1.0}) {
                                double reach = -1e30;
                                for (size_t cell : cells)
                                    for (size_t k = cell * VERTICES_PER_CELL; k < (cell + 1) * VERTICES_PER_CELL; k++) {
                                        const float p[3] = {mesh[k].x, mesh[k].y, mesh[k].z};
                                        reach = std::max(reach, a * p[axis]);
                                    }
                                for (double beyond : {-0.01, 0.5}) {
                                    blocks.visible_runs(half_space(axis, a, a * (reach + beyond)), runs, 0);
                                    size_t found = 0;
                                    for (const CellRun& run : runs)
                                        found += std::count_if(cells.begin(), cells.end(), [&run](size_t cell) {
                                            return cell >= run.first && cell < run.first + run.count;
                                        });
                                    EXPECT_EQ(found, beyond < 0 ? cells.size() : 0u)
                                        << columns << " columns, tilt " << tilt[0] << ", " << tilt[1] << ", threads "
                                        << threads << ", block " << bx << ", " << by << ", axis " << axis << " * " << a;
                                }
                            }
                    }
            }
}

TEST(CellBlocks, AMeshOfAnotherSizeOrLayoutGetsNoBlocksAndAnEmptyOneNoRuns) {
    const TerrainVertices mesh = random_mesh(40, 20, 1), none;
    const struct {
        const TerrainVertices& mesh;
        size_t columns, rows;
        bool fits;
    } cases[] = {{mesh, 40, 20, true},  {mesh, 20, 40, false}, {mesh, 40, 19, false}, {mesh, 41, 20, false},
                 {mesh, 800, 1, false}, {mesh, 1, 800, false}, {mesh, 0, 0, false},   {mesh, SIZE_MAX / 2, 4, false},
                 {none, 0, 5, true},    {none, 5, 0, true}};
    for (const auto& c : cases) {
        // Read whole, or grown from all its cells as a build tells them.
        CellBlocks read(c.mesh, c.columns, c.rows);
        CellBlocks grown(c.columns, c.rows);
        grown.add_cells(c.mesh, 0, c.mesh.size() / VERTICES_PER_CELL);
        grown.finish(c.mesh);
        for (const CellBlocks* blocks : {&read, &grown}) {
            EXPECT_EQ(blocks->fits(), c.fits) << c.columns << " x " << c.rows;
            std::vector<CellRun> runs = {{1, 1}};  // left from an earlier frame
            blocks->visible_runs(view_of(0, 0, 0, 0, 0).volume, runs);
            EXPECT_EQ(runs.empty(), !c.fits || c.mesh.empty()) << c.columns << " x " << c.rows;
        }
    }
}

TEST(CellBlocks, RunsHoldEveryCellThatIsNotWhollyOutsideInListOrder) {
    const size_t columns = 150, rows = 130;
    const TerrainVertices mesh = random_mesh(columns, rows, 9);
    const CellBlocks blocks(mesh, columns, rows);
    EXPECT_LT(blocks.bytes() * 100, mesh.size() * sizeof(TerrainVertex));  // under 1 % of the mesh
    Lcg random(4);
    size_t seen_cells = 0, drawn_cells = 0;
    std::vector<CellRun> runs;
    for (int view = 0; view < 300; view++) {
        // From within and around the terrain, at every angle.
        const View seen_from = view_of(int(random.next() % 300) - 100.0, int(random.next() % 400) - 200.0,
                                       int(random.next() % 300) - 100.0, random.next() % 360,
                                       int(random.next() % 181) - 90.0);
        blocks.visible_runs(seen_from.volume, runs, 0);
        std::vector<bool> drawn(columns * rows, false);
        for (size_t i = 0; i < runs.size(); i++) {
            if (i > 0) {
                EXPECT_GT(runs[i].first, runs[i - 1].first + runs[i - 1].count);  // ordered, apart
            }
            ASSERT_LE(runs[i].first + runs[i].count, drawn.size());
            for (size_t cell = runs[i].first; cell < runs[i].first + runs[i].count; cell++) drawn[cell] = true;
        }
        for (size_t cell = 0; cell < drawn.size(); cell++) {
            const bool seen = cell_reaches_window(mesh, cell, seen_from.both);
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
