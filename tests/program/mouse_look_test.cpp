// Mouse look in the running viewer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "test_clock.h"
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

// Once the pointer is back at the centre, where the viewer puts it, and
// three more frames have been printed (everything moved has been seen by
// then), expects the camera at (yaw, pitch). The output is read meanwhile,
// so that the frames go on.
void expect_settled_at(ViewerRun& run, const std::string& window, int yaw, int pitch, const char* after) {
    EXPECT_TRUE(wait_until([&] {
        run.child().drain();
        const Point p = pointer_in(window);
        return p.x == 400 && p.y == 300;
    }, 5, 50)) << after << ": the pointer was not put back at the centre";
    run.child().drain();
    run.wait_for_frames(all_angles(run.child().out()).size() + 3, 20);
    const Angles a = run.latest_angles();
    EXPECT_TRUE(a.yaw == yaw && a.pitch == pitch) << after << ": " << a.yaw << ", " << a.pitch;
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
    expect_settled_at(run, window, 0, 0, "the start");
    // Right and up together: a lost pixel leaves the pitch short of its whole
    // degree, a doubled one takes the yaw below its own (angles print truncated).
    for (int i = 0; i < 20; i++, usleep(300000)) move_pointer_by(8, -8);  // single moves, 20 degrees
    expect_settled_at(run, window, 340, 20, "single moves");
    for (int i = 0; i < 80; i++, usleep(10000)) move_pointer_by(2, -2);  // a drag, 20 degrees more
    expect_settled_at(run, window, 320, 40, "a drag");
    // A window moved under a still pointer, as a window manager places it: no turn.
    shell("xdotool windowmove " + window + " 120 80");
    expect_settled_at(run, window, 320, 40, "the window moved");
    // Moves while the window is hidden, or while another client holds the
    // pointer, turn nothing; then looking goes on from the centre.
    auto frames_pass = [&] { run.child().drain(), run.wait_for_frames(all_angles(run.child().out()).size() + 2, 20); };
    shell("xdotool windowunmap --sync " + window);
    for (int i = 0; i < 2; i++, frames_pass()) move_pointer_by(16, 8);
    shell("xdotool windowmap --sync " + window);
    expect_settled_at(run, window, 320, 40, "hidden");
    ASSERT_TRUE(grab_pointer());
    for (int i = 0; i < 2; i++, frames_pass()) move_pointer_by(16, 8);
    ungrab_pointer();
    expect_settled_at(run, window, 320, 40, "grabbed");
    move_pointer_by(-16, 8);
    expect_settled_at(run, window, 322, 39, "after");
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
