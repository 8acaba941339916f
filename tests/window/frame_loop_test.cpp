// The frame loop in a real window: the angle line of each frame, and frames
// of an empty terrain.
#include "app/frame_loop.h"

#include <allegro5/allegro_primitives.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/zeb.h"
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
    const std::vector<TerrainVertex> nothing;
    for (const auto& c : cases) {
        Camera camera;
        camera.yaw = c.yaw, camera.pitch = c.pitch;
        CapturedStream out(STDOUT_FILENO);
        EXPECT_EQ(run_frame_loop(camera, nothing, CellBlocks(nothing, 0, 0), 2), 2);
        const std::string text = out.text();
        EXPECT_EQ(text.substr(0, text.find('\n') + 1), c.line);
    }
}
