// Mouse look in the running viewer.
#include <gtest/gtest.h>
#include <unistd.h>

#include "viewer_run.h"

namespace {

class MouseLook : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(run_.put_heightmap(grey_picture(3, 2, {150, 160, 170, 180, 190, 200})));
        run_.start();
        window_ = run_.window();
        ASSERT_FALSE(window_.empty());
        ASSERT_TRUE(run_.wait_for_frames(3));
    }
    void TearDown() override {
        if (!window_.empty()) run_.press_escape();
    }
    ViewerRun run_;
    std::string window_;
};

}  // namespace

TEST_F(MouseLook, SixteenPixelsRightTurnsTwoDegreesAndThePointerComesBack) {
    ASSERT_TRUE(run_.turn_until(window_, 416, 300, [](Angles a) { return a.yaw != 0 || a.pitch != 0; }));
    // The first turn seen is one move: -16 x 0.125 degrees, wrapped from 0 to 358.
    for (const Angles& a : all_angles(run_.child().out())) {
        if (a.yaw == 0 && a.pitch == 0) continue;
        EXPECT_EQ(a.yaw, 358);
        EXPECT_EQ(a.pitch, 0);
        break;
    }
    // Left alone, the pointer is back at the centre and the camera holds still.
    bool centred = false;
    for (int i = 0; i < 40 && !centred; i++, usleep(50000)) {
        Point p = pointer_in(window_);
        centred = p.x == 400 && p.y == 300;
    }
    EXPECT_TRUE(centred);
    run_.child().drain();
    std::vector<Angles> settled = all_angles(run_.child().out());
    ASSERT_TRUE(run_.wait_for_frames(settled.size() + 10));  // ten frames on, however slowly they come
    std::vector<Angles> later = all_angles(run_.child().out());
    EXPECT_EQ(later.back().yaw, settled.back().yaw);
    EXPECT_EQ(later.back().pitch, settled.back().pitch);
}

TEST_F(MouseLook, MovingUpRaisesThePitchWhichStopsAt90) {
    // 200 pixels above the centre: +25 degrees a move seen.
    ASSERT_TRUE(run_.turn_until(window_, 400, 100, [](Angles a) { return a.pitch == 90; }));
    // Keep pushing up: it stays at 90.
    for (int i = 0; i < 10; i++) {
        move_pointer_in(window_, 400, 100);
        usleep(50000);
    }
    run_.child().drain();
    std::vector<Angles> angles = all_angles(run_.child().out());
    int previous = 0;
    bool reached = false;
    for (const Angles& a : angles) {
        EXPECT_EQ(a.yaw, 0);
        EXPECT_GE(a.pitch, previous);
        EXPECT_LE(a.pitch, 90);
        if (a.pitch != previous) {
            EXPECT_TRUE(a.pitch == 90 || a.pitch % 25 == 0) << a.pitch;
        }
        if (reached) {
            EXPECT_EQ(a.pitch, 90);
        }
        reached = reached || a.pitch == 90;
        previous = a.pitch;
    }
    EXPECT_TRUE(reached);
}
