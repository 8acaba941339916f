// The mesh drawn in slices paints exactly the pixels one call paints.
#include <allegro5/allegro_primitives.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include "app/frame_loop.h"
#include "app/terrain_mesh.h"
#include "camera/camera.h"
#include "engine/zeb.h"
#include "test_files.h"

namespace {

// A rough terrain of random levels, so neighbouring triangles overlap on screen.
ALLEGRO_BITMAP* rough_terrain(int side) {
    ALLEGRO_BITMAP* image = al_create_bitmap(side, side);
    al_set_target_bitmap(image);
    Lcg random(7);
    for (int r = 0; r < side; r++)
        for (int c = 0; c < side; c++) {
            unsigned char level = random.next() % 64;
            al_put_pixel(c, r, al_map_rgb(level, level, level));
        }
    al_set_target_backbuffer(display);
    return image;
}

// The back buffer after drawing the mesh through `camera`, `max_bytes` a call.
std::vector<uint32_t> drawn(Camera& camera, const std::vector<TerrainVertex>& mesh, size_t max_bytes) {
    al_clear_to_color(al_map_rgb(0, 0, 0));
    ALLEGRO_TRANSFORM projection = camera.projection(), view = camera.view();
    al_use_projection_transform(&projection);
    al_use_transform(&view);
    draw_terrain(mesh, max_bytes);
    ALLEGRO_BITMAP* back = al_get_backbuffer(display);
    ALLEGRO_LOCKED_REGION* lock = al_lock_bitmap(back, ALLEGRO_PIXEL_FORMAT_ABGR_8888, ALLEGRO_LOCK_READONLY);
    std::vector<uint32_t> pixels;
    if (!lock) return pixels;
    for (int y = 0; y < al_get_bitmap_height(back); y++) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<const char*>(lock->data) + y * lock->pitch);
        pixels.insert(pixels.end(), row, row + al_get_bitmap_width(back));
    }
    al_unlock_bitmap(back);
    return pixels;
}

}  // namespace

TEST(TerrainDraw, SlicesPaintExactlyWhatOneCallPaints) {
    ASSERT_TRUE(al_init());
    ASSERT_TRUE(al_init_primitives_addon());
    ASSERT_TRUE(set_video_mode(800, 600, VIDEO_MODE_MEMORY_BITMAPS));
    std::vector<TerrainVertex> mesh;
    {
        CapturedStream quiet(STDOUT_FILENO);
        build_terrain_mesh(rough_terrain(48), mesh);
    }
    // From afar, so that the whole rough terrain lies in the narrow off-axis
    // window, its ridges painted over each other.
    Camera camera;
    camera.set_fov(START_FOV);
    camera.x = 4 + 3.27 * 150, camera.y = -120 - 3.27 * 150, camera.z = 4 + 150;
    const std::vector<uint32_t> one_call = drawn(camera, mesh, MAX_DRAW_BYTES);
    size_t lit = 0;
    for (uint32_t p : one_call) lit += (p & 0xFFFFFF) != 0;
    EXPECT_GT(lit, 100000u);
    EXPECT_GE(std::set<uint32_t>(one_call.begin(), one_call.end()).size(), 40u);

    const size_t cell = VERTICES_PER_CELL * sizeof(TerrainVertex);
    for (size_t max_bytes : {cell + 1, 7 * cell + 1, 64 * cell, 1000 * cell + 5}) {
        EXPECT_TRUE(drawn(camera, mesh, max_bytes) == one_call) << max_bytes << " bytes a call";
    }
}
