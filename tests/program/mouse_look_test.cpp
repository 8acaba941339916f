// Mouse look in the running viewer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "viewer_run.h"

namespace {

// A mouse's relative moves at a given frame rate: every pixel must turn the
// camera once, whether the frames come 2 or hundreds of times a second.
struct LookRate {
    const char* name;
    int frame_delay_ms;  // 0: as fast as a small terrain draws
};

void PrintTo(const LookRate& rate, std::ostream* os) { *os << rate.name; }

class MouseLookAtRate : public ::testing::TestWithParam<LookRate> {};

// The angles once the pointer is back at the centre, where the viewer puts
// it, and three more frames have been printed: everything moved has been
// seen by then. Its output is read meanwhile, so that its frames go on.
Angles settled_angles(ViewerRun& run, const std::string& window) {
    bool centred = false;
    for (int i = 0; i < 100 && !centred; i++, usleep(50000)) {
        run.child().drain();
        Point p = pointer_in(window);
        centred = p.x == 400 && p.y == 300;
    }
    EXPECT_TRUE(centred) << "the pointer was not put back at the centre";
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
    // 200 pixels up, again and again: the pitch rises 25 degrees a move seen,
    // stops at 90 and stays there, and the heading holds.
    const size_t level = all_angles(run.child().out()).size();
    ASSERT_TRUE(run.turn_until(window, 400, 100, [](Angles a) { return a.pitch == 90; }));
    for (int i = 0; i < 10; i++, usleep(50000)) move_pointer_in(window, 400, 100);
    run.child().drain();
    const std::vector<Angles> angles = all_angles(run.child().out());
    int previous = 39;
    for (size_t i = level; i < angles.size(); i++) {
        EXPECT_EQ(angles[i].yaw, 322);
        EXPECT_TRUE(angles[i].pitch == previous || angles[i].pitch == 90 || (angles[i].pitch - 39) % 25 == 0)
            << angles[i].pitch;
        EXPECT_GE(angles[i].pitch, previous);
        EXPECT_LE(angles[i].pitch, 90);
        previous = angles[i].pitch;
    }
    EXPECT_EQ(angles.back().pitch, 90);
    EXPECT_TRUE(run.press_escape(20));
}

INSTANTIATE_TEST_SUITE_P(Rates, MouseLookAtRate,
                         ::testing::Values(LookRate{"Fast", 0}, LookRate{"TwoFramesASecond", 500}),
                         [](const auto& info) { return std::string(info.param.name); });
