#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "camera/camera.h"
#include "engine/zeb.h"
#include "test_clock.h"
#include "x_desktop.h"

namespace {

class Input : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(al_init());
        ASSERT_TRUE(al_install_keyboard());
        ASSERT_TRUE(al_install_mouse());
        ASSERT_TRUE(set_video_mode(800, 600, 4));
        window_ = wait_for_window("^window_tests$", 5);
        ASSERT_FALSE(window_.empty());
    }
    void TearDown() override { shell("xdotool mouseup 1 mouseup 3 keyup Escape 2>/dev/null"); }

    // Polls until `done` holds, for up to 3 s: the library takes X events on
    // a thread of its own, so what xdotool did shows up a moment later.
    static bool poll_until(const std::function<bool()>& done) {
        return wait_until([&] { return input_poll(), done(); }, 3);
    }
    bool pointer_reaches(int x, int y) {
        return wait_until([&] { const Point p = pointer_in(window_); return p.x == x && p.y == y; }, 3, 50);
    }

    std::string window_;
};

}  // namespace

TEST_F(Input, BeforeTheFirstPollEverythingReadsZero) {
    EXPECT_EQ(mouse_offset_x(), 400);  // half the width less a pointer at 0
    EXPECT_EQ(mouse_offset_y(), 300);
    EXPECT_EQ(mouse_delta_x(), 0);
    EXPECT_EQ(mouse_delta_y(), 0);
    EXPECT_EQ(mouse_wheel(), 0);
    EXPECT_EQ(mouse_wheel_delta(), 0);
    EXPECT_FALSE(mouse_left_down() || mouse_left_pressed() || mouse_left_released());
    EXPECT_FALSE(mouse_right_down() || mouse_right_pressed() || mouse_right_released());
    for (int key = 1; key < ALLEGRO_KEY_MAX; key++) EXPECT_FALSE(al_key_down(&keyboard_now, key)) << key;
}

TEST_F(Input, CentringPutsThePointerInTheMiddleOfEvenAndOddDisplays) {
    move_pointer_in(window_, 10, 20);
    mouse_center();
    EXPECT_TRUE(pointer_reaches(400, 300));
    EXPECT_TRUE(poll_until([] { return mouse_offset_x() == 0 && mouse_offset_y() == 0; }));

    ASSERT_TRUE(set_video_mode(803, 601, 4));
    mouse_center();
    EXPECT_TRUE(pointer_reaches(401, 300));  // 401.5 and 300.5 truncated
    EXPECT_TRUE(poll_until([] { return mouse_now.x == 401 && mouse_now.y == 300; }));
    EXPECT_EQ(mouse_offset_x(), 0);
    EXPECT_EQ(mouse_offset_y(), 0);
}

TEST_F(Input, AMovedPointerReadsItsOffsetAndItsMovement) {
    move_pointer_in(window_, 390, 310);
    ASSERT_TRUE(poll_until([] { return mouse_now.x == 390 && mouse_now.y == 310; }));
    EXPECT_EQ(mouse_offset_x(), 10);
    EXPECT_EQ(mouse_offset_y(), -10);

    move_pointer_in(window_, 395, 300);
    ASSERT_TRUE(poll_until([] { return mouse_now.x == 395; }));
    EXPECT_EQ(mouse_delta_x(), 5);  // since the poll before, which still saw 390, 310
    EXPECT_EQ(mouse_delta_y(), -10);
    input_poll();
    EXPECT_EQ(mouse_delta_x(), 0);
    EXPECT_EQ(mouse_delta_y(), 0);
}

TEST_F(Input, ButtonEdgesLastExactlyOnePoll) {
    move_pointer_in(window_, 400, 300);
    struct Button {
        const char* xdotool;
        bool (*down)();
        bool (*pressed)();
        bool (*released)();
    } buttons[] = {{"1", mouse_left_down, mouse_left_pressed, mouse_left_released},
                   {"3", mouse_right_down, mouse_right_pressed, mouse_right_released}};
    for (const Button& b : buttons) {
        shell(std::string("xdotool mousedown ") + b.xdotool);
        ASSERT_TRUE(poll_until(b.down)) << "button " << b.xdotool;
        EXPECT_TRUE(b.pressed());
        EXPECT_FALSE(b.released());
        input_poll();
        EXPECT_TRUE(b.down());
        EXPECT_FALSE(b.pressed());  // held through two polls: no edge
        EXPECT_FALSE(b.released());

        shell(std::string("xdotool mouseup ") + b.xdotool);
        ASSERT_TRUE(poll_until([&] { return !b.down(); })) << "button " << b.xdotool;
        EXPECT_TRUE(b.released());
        EXPECT_FALSE(b.pressed());
        input_poll();
        EXPECT_FALSE(b.released());
    }
}

TEST_F(Input, TheWheelCountsUntilCentringResetsIt) {
    move_pointer_in(window_, 400, 300);
    shell("xdotool click 4 click 4");  // two steps up
    ASSERT_TRUE(poll_until([] { return mouse_wheel() == 2; }));
    mouse_center();
    ASSERT_TRUE(poll_until([] { return mouse_wheel() == 0; }));
    EXPECT_EQ(mouse_wheel_delta(), -2);
}

TEST_F(Input, CameraFieldOfViewAndProjectionFollowTheDisplay) {
    Camera camera;
    camera.set_fov_for_display(160);  // 160 / (800 / 600)
    EXPECT_EQ(camera.fov, 120);
    camera.set_fov(150);
    ALLEGRO_TRANSFORM fitted = camera.projection();
    Camera twin;
    twin.set_fov(150);
    ALLEGRO_TRANSFORM expected = twin.projection_for(800, 600);
    EXPECT_EQ(memcmp(fitted.m, expected.m, sizeof fitted.m), 0);

    ASSERT_TRUE(set_video_mode(600, 600, 4));  // the size is asked anew at every call
    camera.set_fov_for_display(160);
    EXPECT_EQ(camera.fov, 160);
}
