// The mesh drawn in slices, or only the cells that can reach the window, from
// memory or from vertex buffers, paints exactly the pixels one call over the
// whole mesh paints.
#include <allegro5/allegro_primitives.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <set>

#include "app/frame_loop.h"
#include "terrain/terrain_draw.h"
#include "terrain/terrain_mesh.h"
#include "camera/camera.h"
#include "engine/zeb.h"
#include "buffer_route.h"
#include "reference_draw.h"
#include "sample_landscape.h"
#include "test_files.h"

namespace {

// A memory bitmap of grey levels, `level(column, row)` asked row by row.
ALLEGRO_BITMAP* grey_bitmap(int columns, int rows, const std::function<int(int, int)>& level) {
    ALLEGRO_BITMAP* image = al_create_bitmap(columns, rows);
    ALLEGRO_LOCKED_REGION* lock = al_lock_bitmap(image, ALLEGRO_PIXEL_FORMAT_ANY, ALLEGRO_LOCK_WRITEONLY);
    al_set_target_bitmap(image);
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < columns; c++) {
            const int grey = level(c, r);
            al_put_pixel(c, r, al_map_rgb(grey, grey, grey));
        }
    if (lock) al_unlock_bitmap(image);
    al_set_target_backbuffer(display);
    return image;
}

// A rough terrain of random levels, so neighbouring triangles overlap on screen.
ALLEGRO_BITMAP* rough_terrain(int side) {
    Lcg random(7);
    return grey_bitmap(side, side, [&](int, int) { return int(random.next() % 64); });
}

using Draw = std::function<void(const ALLEGRO_TRANSFORM& view, const ALLEGRO_TRANSFORM& projection)>;

// The back buffer after `draw` through `camera`, into `pixels` (reused, so
// that hundreds of views do not allocate a picture each).
void draw_into(std::vector<uint32_t>& pixels, Camera& camera, const Draw& draw) {
    al_clear_to_color(al_map_rgb(0, 0, 0));
    ALLEGRO_TRANSFORM projection = camera.projection(), view = camera.view();
    al_use_projection_transform(&projection);
    al_use_transform(&view);
    draw(view, projection);
    ALLEGRO_BITMAP* back = al_get_backbuffer(display);
    ALLEGRO_LOCKED_REGION* lock = al_lock_bitmap(back, ALLEGRO_PIXEL_FORMAT_ABGR_8888, ALLEGRO_LOCK_READONLY);
    pixels.clear();
    if (!lock) return;
    for (int y = 0; y < al_get_bitmap_height(back); y++) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<const char*>(lock->data) + y * lock->pitch);
        pixels.insert(pixels.end(), row, row + al_get_bitmap_width(back));
    }
    al_unlock_bitmap(back);
}

std::vector<uint32_t> drawn(Camera& camera, const TerrainVertices& mesh, size_t max_bytes) {
    std::vector<uint32_t> pixels;
    draw_into(pixels, camera,
              [&](const ALLEGRO_TRANSFORM&, const ALLEGRO_TRANSFORM&) { draw_whole_mesh(mesh, max_bytes); });
    return pixels;
}

size_t lit_pixels(const std::vector<uint32_t>& pixels) {
    size_t lit = 0;
    for (uint32_t p : pixels) lit += (p & 0xFFFFFF) != 0;
    return lit;
}

// Colours in a picture: each run of one colour counted once.
size_t colours(const std::vector<uint32_t>& pixels) {
    std::set<uint32_t> seen;
    for (size_t i = 0; i < pixels.size(); i++)
        if (i == 0 || pixels[i] != pixels[i - 1]) seen.insert(pixels[i]);
    return seen.size();
}

// The sample's landscape, roughened by a few levels at random so that
// neighbouring triangles overlap on the screen: cells painted in another
// order, or left out, change pixels.
ALLEGRO_BITMAP* rough_landscape(int columns, int rows) {
    Lcg random(11);
    return grey_bitmap(columns, rows, [&](int c, int r) {
        return std::clamp(int(sample_level(c, r)) + int(random.next() % 13) - 6, 0, 255);
    });
}

// The world direction (a unit vector) through the middle of the window of a
// camera turned to (yaw, pitch), and the depth along the line of sight a unit
// along it gains: the window lies far off the line of sight.
double window_middle(double yaw, double pitch, double along[3]) {
    Camera camera;
    camera.yaw = yaw, camera.pitch = pitch;
    const ALLEGRO_TRANSFORM turn = camera.view();
    const Frustum f = frustum_for(START_FOV, 800, 600);
    const double middle[3] = {(f.left + f.right) / 2.0, (f.top + f.bottom) / 2.0, -f.near_z};
    // Turned back into the world: a turn's inverse is its transpose.
    double length = 0;
    for (int i = 0; i < 3; i++) {
        along[i] = 0;
        for (int j = 0; j < 3; j++) along[i] += turn.m[i][j] * middle[j];
        length += along[i] * along[i];
    }
    length = std::sqrt(length);
    for (int i = 0; i < 3; i++) along[i] /= length;
    return f.near_z / length;
}

// Turns `camera` to (yaw, pitch) and stands it `distance` world units from
// `target`, so that the middle of its window looks at the target. The view
// shifts after it turns, so the place is found in the turned frame.
void aim(Camera& camera, double yaw, double pitch, const float target[3], double distance) {
    double along[3];
    window_middle(yaw, pitch, along);
    camera.x = camera.y = camera.z = 0;
    camera.yaw = yaw, camera.pitch = pitch;
    const ALLEGRO_TRANSFORM turn = camera.view();
    float x = float(target[0] - distance * along[0]), y = float(target[1] - distance * along[1]),
          z = float(target[2] - distance * along[2]);
    al_transform_coordinates_3d(&turn, &x, &y, &z);
    camera.x = x, camera.y = y, camera.z = z;
}

// The mesh of `image`, built quietly.
TerrainVertices mesh_of(ALLEGRO_BITMAP* image) {
    TerrainVertices mesh;
    CapturedStream quiet(STDOUT_FILENO);
    build_terrain_mesh(image, mesh);
    return mesh;
}

// The world point of a pixel's corner, lifted by the landscape's level there.
void world_point(int column, int row, float point[3]) {
    point[0] = float(column - GRID_OFFSET);
    point[1] = float(sample_level(column, row) - HEIGHT_BASE);
    point[2] = float(row - GRID_OFFSET);
}

// What a view of the mesh showed, drawn whole.
struct ViewSeen {
    size_t lit = 0, colours = 0;
};

// The buffer route on the software renderer, twice: with room for the whole
// mesh, each piece copied the first time it is seen, and with room for a
// third of it, one piece copied a frame, the rest drawn from memory in
// between. Pieces of an odd number of cells, so runs cross their ends.
// Views take turns with the two.
struct BufferRoutes {
    static constexpr size_t PIECE = 1237;  // cells
    explicit BufferRoutes(const TerrainVertices& mesh)
        : room(mesh.size() * sizeof(TerrainVertex) / 3),
          whole(mesh, mesh.size() * sizeof(TerrainVertex), PIECE, SIZE_MAX), part(mesh, room, PIECE, 1) {}
    // Both held buffers, and the part no more than its room.
    void expect_used() const {
        EXPECT_GT(whole.held(), 0u);
        EXPECT_GT(part.held(), 0u);
        EXPECT_LT(part.held(), part.pieces.count());
        EXPECT_LE(part.held_bytes(), room);
    }
    // Many frames fill the part's room, a piece a frame.
    void expect_part_full() const {
        EXPECT_GT(part.held_bytes() + PIECE * VERTICES_PER_CELL * sizeof(TerrainVertex), room);
    }
    BufferRoute& next() { return turns++ % 2 ? part : whole; }
    uint64_t room;  // bytes
    BufferRoute whole, part;
    size_t turns = 0;
};

// Draws the whole mesh through `camera`, then only the cells that may reach
// the window, with runs joined across each of `bridges` cells (0: every block
// on its own, so no cell wrongly left out can hide behind a neighbour drawn
// anyway), then the viewer's runs from the vertex buffers of `routes`, and
// expects the same back buffer each time.
ViewSeen expect_same_picture(Camera& camera, const TerrainVertices& mesh, const CellBlocks& blocks,
                             const std::vector<size_t>& bridges, std::initializer_list<BufferRoute*> routes) {
    static std::vector<uint32_t> whole, visible;
    static std::vector<CellRun> runs;
    draw_into(whole, camera, [&](const ALLEGRO_TRANSFORM&, const ALLEGRO_TRANSFORM&) { draw_whole_mesh(mesh); });
    const std::string where = "yaw " + std::to_string(camera.yaw) + ", pitch " + std::to_string(camera.pitch) +
                              " at (" + std::to_string(camera.x) + ", " + std::to_string(camera.y) + ", " +
                              std::to_string(camera.z) + ")";
    EXPECT_EQ(whole.size(), 800u * 600u) << where;
    const auto differing = [&] {
        size_t count = visible.size() != whole.size();
        for (size_t i = 0; i < whole.size() && i < visible.size(); i++) count += whole[i] != visible[i];
        return count;
    };
    for (size_t bridge : bridges) {
        draw_into(visible, camera, [&](const ALLEGRO_TRANSFORM& view, const ALLEGRO_TRANSFORM& projection) {
            blocks.visible_runs(clip_volume(view, projection), runs, bridge);
            draw_cell_runs(runs, mesh, nullptr);
        });
        size_t drawn_cells = 0;
        for (const CellRun& run : runs) drawn_cells += run.count;
        EXPECT_EQ(differing(), 0u) << where << ", runs joined across " << bridge << " cells: " << drawn_cells
                                   << " of " << mesh.size() / VERTICES_PER_CELL << " cells drawn";
    }
    for (BufferRoute* route : routes) {
        draw_into(visible, camera, [&](const ALLEGRO_TRANSFORM& view, const ALLEGRO_TRANSFORM& projection) {
            draw_visible_terrain(mesh, &route->buffers, blocks, view, projection, runs);
        });
        EXPECT_EQ(differing(), 0u) << where << ", from vertex buffers holding " << route->held() << " of "
                                   << route->pieces.count() << " pieces";
    }
    return {lit_pixels(whole), colours(whole)};
}

// The viewer's runs on even views, every block on its own on odd ones: each
// view draws the whole mesh once and the visible cells once.
std::vector<size_t> bridges_for(size_t view) { return {view % 2 ? 0 : RUN_BRIDGE_CELLS}; }

class TerrainDraw : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(al_init());
        ASSERT_TRUE(al_init_primitives_addon());
        ASSERT_TRUE(set_video_mode(800, 600, VIDEO_MODE_MEMORY_BITMAPS));
    }
};
class VisibleCells : public TerrainDraw {};  // the long ones (tests/CMakeLists.txt)

}  // namespace

TEST_F(TerrainDraw, SlicesPaintExactlyWhatOneCallPaints) {
    const TerrainVertices mesh = mesh_of(rough_terrain(48));
    // From afar, so that the whole rough terrain lies in the narrow off-axis
    // window, its ridges painted over each other.
    Camera camera;
    camera.set_fov(START_FOV);
    camera.x = 4 + 3.27 * 150, camera.y = -120 - 3.27 * 150, camera.z = 4 + 150;
    const std::vector<uint32_t> one_call = drawn(camera, mesh, MAX_DRAW_BYTES);
    EXPECT_GT(lit_pixels(one_call), 100000u);
    EXPECT_GE(std::set<uint32_t>(one_call.begin(), one_call.end()).size(), 40u);

    const size_t cell = VERTICES_PER_CELL * sizeof(TerrainVertex);
    for (size_t max_bytes : {cell + 1, 7 * cell + 1, 64 * cell, 1000 * cell + 5}) {
        EXPECT_TRUE(drawn(camera, mesh, max_bytes) == one_call) << max_bytes << " bytes a call";
    }
}

TEST_F(VisibleCells, PaintExactlyWhatTheWholeMeshPaintsAtManyViews) {
    constexpr int SIDE = 1500;
    const TerrainVertices mesh = mesh_of(rough_landscape(SIDE, SIDE));
    const CellBlocks blocks(mesh, SIDE, SIDE);
    BufferRoutes buffers(mesh);

    // Where the viewer stands (no target): the start view, round the
    // compass, looking down the rows as far as the far plane (yaw 180 to 195,
    // pitch 75 to 90), straight up and down. Then from elsewhere, aimed at a
    // pixel of the terrain: its corners, its edges (where the last row and
    // column slope down), and its middle from near and far.
    struct Pixel {
        int column, row;
    };
    const Pixel first_corner{0, 0}, last_corner{SIDE - 1, SIDE - 1}, top_right{SIDE - 1, 0}, bottom_left{0, SIDE - 1},
        top_edge{SIDE / 2, 0}, left_edge{0, SIDE / 3}, bottom_edge{SIDE / 3, SIDE - 1}, right_edge{SIDE - 1, SIDE / 2};
    // The lowest ground within 60 pixels of the middle, where the shades are.
    Pixel middle{SIDE / 2, SIDE / 2};
    for (int r = SIDE / 2 - 60; r <= SIDE / 2 + 60; r++)
        for (int c = SIDE / 2 - 60; c <= SIDE / 2 + 60; c++)
            if (sample_level(c, r) < sample_level(middle.column, middle.row)) middle = {c, r};
    const struct {
        double yaw, pitch;
        const Pixel* target;
        double distance;
    } views[] = {
        {0, 0, nullptr, 0},            {120, 60, nullptr, 0},          {180, 75, nullptr, 0},
        {195, 90, nullptr, 0},         {165, 90, nullptr, 0},          {105, 75, nullptr, 0},
        {135, 45, nullptr, 0},         {0, 90, nullptr, 0},            {0, -90, nullptr, 0},
        {45, 30, &first_corner, 60},   {300, 60, &first_corner, 150},  {200, -20, &first_corner, 40},
        {10, 40, &last_corner, 80},    {250, 70, &last_corner, 300},   {90, 50, &top_right, 120},
        {0, 20, &bottom_left, 100},    {30, 45, &top_edge, 50},        {160, 60, &left_edge, 200},
        {270, 30, &right_edge, 70},    {200, 80, &bottom_edge, 150},   {0, -90, &middle, 40},
        {90, 90, &middle, 300},        {330, -45, &middle, 600},       {60, 10, &middle, 1200},
        {180, 0, &middle, 25},
    };
    size_t views_with_terrain = 0, shown = 0;
    for (const auto& v : views) {
        Camera camera;
        camera.set_fov(START_FOV);
        if (v.target) {
            float target[3];
            world_point(v.target->column, v.target->row, target);
            aim(camera, v.yaw, v.pitch, target, v.distance);
        } else {
            camera.yaw = v.yaw, camera.pitch = v.pitch;
        }
        const ViewSeen seen = expect_same_picture(camera, mesh, blocks, bridges_for(shown++), {&buffers.next()});
        views_with_terrain += seen.lit > 20000 && seen.colours >= 5;
    }
    EXPECT_GE(views_with_terrain, 15u);  // most views show terrain in several shades to compare
    buffers.expect_used();
}

TEST_F(VisibleCells, PaintExactlyWhatTheWholeMeshPaintsFromCloseBy) {
    // Needles on the landscape: a cell that rises to one reaches far above
    // the rest of its block, so a bound that misses a cell by one shows.
    // They stand on every eighth row or column, where blocks of any even
    // size meet.
    // Close views at random angles look at the needles' tips: cells are
    // large on the screen, and the window's edges cut through blocks. Wider
    // than long, so rows and columns cannot stand in for each other.
    constexpr int COLUMNS = 240, ROWS = 168, NEEDLES = 400;
    ALLEGRO_BITMAP* image = rough_landscape(COLUMNS, ROWS);
    Lcg random(5);
    std::vector<std::pair<int, int>> needles;  // column, row
    al_set_target_bitmap(image);
    for (int i = 0; i < NEEDLES; i++) {
        if (i % 2)  // on a row
            needles.push_back({int(random.next() % COLUMNS), int(random.next() % (ROWS / 8)) * 8});
        else  // on a column
            needles.push_back({int(random.next() % (COLUMNS / 8)) * 8, int(random.next() % ROWS)});
        al_put_pixel(needles.back().first, needles.back().second, al_map_rgb(255, 255, 255));
    }
    al_set_target_backbuffer(display);
    const TerrainVertices mesh = mesh_of(image);
    const CellBlocks blocks(mesh, COLUMNS, ROWS);
    BufferRoutes buffers(mesh);
    size_t views_with_terrain = 0;
    for (int view = 0; view < 300; view++) {
        Camera camera;
        camera.set_fov(START_FOV);
        const auto [column, row] = needles[random.next() % NEEDLES];
        const float tip[3] = {float(column - GRID_OFFSET), float(255 - HEIGHT_BASE), float(row - GRID_OFFSET)};
        aim(camera, random.next() % 360, int(random.next() % 181) - 90.0, tip, 5 + random.next() % 60);
        const ViewSeen seen = expect_same_picture(camera, mesh, blocks, bridges_for(view), {&buffers.next()});
        views_with_terrain += seen.lit > 20000;
    }
    EXPECT_GE(views_with_terrain, 100u);  // a good part of them show plenty of terrain
    buffers.expect_used();
    buffers.expect_part_full();
}

TEST_F(VisibleCells, PaintExactlyWhatTheWholeMeshPaintsWhereTheFarPlaneCutsTheTerrain) {
    // A long strip of low, rough ground, seen nearly edge on down its rows
    // from far off: the middle of the window meets it at the far plane, which
    // cuts the ground in view.
    constexpr int COLUMNS = 600, ROWS = 2200;
    Lcg random(13);
    const TerrainVertices mesh =
        mesh_of(grey_bitmap(COLUMNS, ROWS, [&](int, int) { return int(10 + random.next() % 31); }));
    const CellBlocks blocks(mesh, COLUMNS, ROWS);
    BufferRoutes buffers(mesh);

    // The turn whose window looks down the rows and a little down.
    double yaw = 0, pitch = 0, best = -1;
    const double wanted[3] = {0, -0.15 / std::sqrt(1.0225), 1 / std::sqrt(1.0225)};
    for (int y = 0; y < 360; y++)
        for (int p = -90; p <= 90; p++) {
            double along[3];
            window_middle(y, p, along);
            const double match = along[0] * wanted[0] + along[1] * wanted[1] + along[2] * wanted[2];
            if (match > best) best = match, yaw = y, pitch = p;
        }
    double along[3];
    const double depth_a_unit = window_middle(yaw, pitch, along);
    const float target[3] = {float(COLUMNS / 2 - GRID_OFFSET), float(25 - HEIGHT_BASE), float(1700 - GRID_OFFSET)};
    Camera camera;
    camera.set_fov(START_FOV);
    aim(camera, yaw, pitch, target, far_plane / depth_a_unit);
    const ViewSeen seen =
        expect_same_picture(camera, mesh, blocks, {RUN_BRIDGE_CELLS, 0}, {&buffers.whole, &buffers.part});
    EXPECT_GT(seen.lit, 100000u);  // ground fills much of the window up to the far plane
    EXPECT_GT(seen.colours, 20u);
    buffers.expect_used();
}
