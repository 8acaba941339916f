// Mouse look in the running viewer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

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

namespace {

// A mouse's relative moves at a given frame rate: every pixel must turn the
// camera once, whether the frames come 2 or hundreds of times a second.
struct LookRate {
    const char* name;
    int frame_delay_ms;  // 0: as fast as a small terrain draws
};

void PrintTo(const LookRate& rate, std::ostream* os) { *os << rate.name; }

class MouseLookAtRate : public ::testing::TestWithParam<LookRate> {};

// The angles once the pointer is back at the centre and three more frames
// have been printed: everything moved has been seen by then.
Angles settled_angles(ViewerRun& run, const std::string& window) {
    for (int i = 0; i < 100; i++, usleep(50000)) {
        Point p = pointer_in(window);
        if (p.x == 400 && p.y == 300) break;
    }
    run.child().drain();
    run.wait_for_frames(all_angles(run.child().out()).size() + 3, 20);
    return run.latest_angles();
}

}  // namespace

TEST_P(MouseLookAtRate, EveryMoveTurnsTheCameraOnce) {
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(grey_picture(24, 24, std::vector<uint8_t>(24 * 24, 120))));
    ViewerOptions options;
    options.frame_delay_ms = GetParam().frame_delay_ms;
    run.start(options);
    std::string window = run.window();
    ASSERT_FALSE(window.empty());
    ASSERT_TRUE(run.wait_for_frames(2, 20));
    ASSERT_EQ(settled_angles(run, window).yaw, 0);
    // Right and up together: a lost pixel leaves the pitch short of its whole
    // degree, a doubled one takes the yaw below its own (angles print truncated).
    for (int i = 0; i < 20; i++, usleep(300000)) move_pointer_by(8, -8);  // single moves, 20 degrees
    Angles singles = settled_angles(run, window);
    EXPECT_EQ(singles.yaw, 340);
    EXPECT_EQ(singles.pitch, 20);
    for (int i = 0; i < 80; i++, usleep(10000)) move_pointer_by(2, -2);  // a drag, 20 degrees more
    Angles drag = settled_angles(run, window);
    EXPECT_EQ(drag.yaw, 320);
    EXPECT_EQ(drag.pitch, 40);
    // A window moved under a still pointer, as a window manager places it: no turn.
    shell("xdotool windowmove " + window + " 120 80");
    Angles moved = settled_angles(run, window);
    EXPECT_TRUE(moved.yaw == 320 && moved.pitch == 40) << moved.yaw << ", " << moved.pitch;
    // Moves while the window is hidden, or while another client holds the
    // pointer, turn nothing; then looking goes on from the centre.
    auto frames_pass = [&] { run.child().drain(), run.wait_for_frames(all_angles(run.child().out()).size() + 2, 20); };
    shell("xdotool windowunmap --sync " + window);
    for (int i = 0; i < 2; i++, frames_pass()) move_pointer_by(16, 8);
    shell("xdotool windowmap --sync " + window);
    Angles hidden = settled_angles(run, window);
    EXPECT_TRUE(hidden.yaw == 320 && hidden.pitch == 40) << "hidden: " << hidden.yaw << ", " << hidden.pitch;
    ASSERT_TRUE(grab_pointer());
    for (int i = 0; i < 2; i++, frames_pass()) move_pointer_by(16, 8);
    ungrab_pointer();
    Angles grabbed = settled_angles(run, window);
    EXPECT_TRUE(grabbed.yaw == 320 && grabbed.pitch == 40) << "grabbed: " << grabbed.yaw << ", " << grabbed.pitch;
    move_pointer_by(-16, 8);
    Angles after = settled_angles(run, window);
    EXPECT_TRUE(after.yaw == 322 && after.pitch == 39) << "after: " << after.yaw << ", " << after.pitch;
    EXPECT_TRUE(run.press_escape(20));
}

INSTANTIATE_TEST_SUITE_P(Rates, MouseLookAtRate,
                         ::testing::Values(LookRate{"Fast", 0}, LookRate{"TwoFramesASecond", 500}),
                         [](const auto& info) { return std::string(info.param.name); });
