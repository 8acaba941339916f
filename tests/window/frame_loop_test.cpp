// The frame loop in a real window: the angle line of each frame, and frames
// of an empty terrain.
#include "app/frame_loop.h"

#include <allegro5/allegro_primitives.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/zeb.h"
#include "buffer_route.h"
#include "test_files.h"

TEST(FrameLoop, EchoesWholeDegreesTruncatedTowardZero) {
    ASSERT_TRUE(al_init());
    ASSERT_TRUE(al_install_keyboard());
    ASSERT_TRUE(al_install_mouse());
    ASSERT_TRUE(al_init_primitives_addon());
    ASSERT_TRUE(set_video_mode(800, 600, VIDEO_MODE_MEMORY_BITMAPS));
    const struct {
        double yaw, pitch;
        const char* line;
    } cases[] = {
        {359.9, -0.5, "yaw=359, pitch=0\n"},
        {0.99, 89.99, "yaw=0, pitch=89\n"},
        {180.5, -45.7, "yaw=180, pitch=-45\n"},
        {360, -90, "yaw=360, pitch=-90\n"},
    };
    // No cells at all: the frames still run, each with its line.
    const TerrainVertices nothing;
    for (const auto& c : cases) {
        Camera camera;
        camera.yaw = c.yaw, camera.pitch = c.pitch;
        CapturedStream out(STDOUT_FILENO);
        EXPECT_EQ(run_frame_loop(camera, nothing, CellBlocks(nothing, 0, 0), 2), 2);
        const std::string text = out.text();
        EXPECT_EQ(text.substr(0, text.find('\n') + 1), c.line);
    }
}

TEST(FrameLoop, DrawsFromTheBuffersItIsGiven) {
    ASSERT_TRUE(al_init());
    ASSERT_TRUE(al_install_keyboard());
    ASSERT_TRUE(al_install_mouse());
    ASSERT_TRUE(al_init_primitives_addon());
    ASSERT_TRUE(set_video_mode(800, 600, VIDEO_MODE_MEMORY_BITMAPS));
    // A plateau 20 units above the camera fills much of the first frame.
    ALLEGRO_BITMAP* image = al_create_bitmap(48, 48);
    al_set_target_bitmap(image);
    al_clear_to_color(al_map_rgb(176, 176, 176));
    al_set_target_backbuffer(display);
    TerrainVertices mesh;
    CapturedStream out(STDOUT_FILENO);
    build_terrain_mesh(image, mesh);
    BufferRoute route(mesh, mesh.size() * sizeof(TerrainVertex), 100);
    Camera camera;
    EXPECT_EQ(run_frame_loop(camera, mesh, CellBlocks(mesh, 48, 48), 2, &route.buffers), 2);
    EXPECT_GT(route.held(), 0u);
}
