#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/zeb.h"
#include "test_files.h"
#include "x_desktop.h"

namespace {

// The window of this test program, titled after it by the library.
std::vector<std::string> my_windows() { return windows_named("^window_tests$"); }

struct ModeFlags {
    int16_t mode;
    int flags;
};

void PrintTo(const ModeFlags& m, std::ostream* os) { *os << "mode " << m.mode << ", flags " << m.flags; }

class VideoMode : public ::testing::TestWithParam<ModeFlags> {};

}  // namespace

TEST_P(VideoMode, ChoosesTheFlagsOfLaterBitmaps) {
    ASSERT_TRUE(al_init());
    al_set_new_bitmap_flags(ALLEGRO_MIN_LINEAR);  // what an unknown mode must leave alone
    ASSERT_TRUE(set_video_mode(800, 600, GetParam().mode));
    EXPECT_EQ(al_get_new_bitmap_flags(), GetParam().flags);
    ASSERT_NE(display, nullptr);
    EXPECT_TRUE(display_created);
    EXPECT_EQ(al_get_display_width(display), 800);
    EXPECT_EQ(al_get_display_height(display), 600);
    EXPECT_EQ(wait_for_window("^window_tests$", 5).empty(), false);
}

INSTANTIATE_TEST_SUITE_P(Modes, VideoMode,
                         ::testing::Values(ModeFlags{4, ALLEGRO_MEMORY_BITMAP}, ModeFlags{5, 0x200}, ModeFlags{6, 2},
                                           ModeFlags{7, ALLEGRO_MIN_LINEAR}),
                         [](const auto& info) { return "mode_" + std::to_string(info.param.mode); });

TEST(Display, ASecondCallResizesTheSameWindow) {
    ASSERT_TRUE(al_init());
    ASSERT_TRUE(set_video_mode(800, 600, 4));
    ALLEGRO_DISPLAY* first = display;
    ASSERT_TRUE(set_video_mode(803, 601, 5));
    EXPECT_EQ(display, first);
    EXPECT_EQ(al_get_display_width(display), 803);
    EXPECT_EQ(al_get_display_height(display), 601);
    EXPECT_EQ(al_get_new_bitmap_flags(), ALLEGRO_MEMORY_BITMAP);  // a resize ignores the mode
    wait_for_window("^window_tests$", 5);
    EXPECT_EQ(my_windows().size(), 1u);
}

TEST(Display, TakesTheSizeAsSixteenBitValues) {
    ASSERT_TRUE(al_init());
    int wide = 65536 + 800, tall = 65536 + 600;
    ASSERT_TRUE(set_video_mode(wide, tall, 4));
    EXPECT_EQ(al_get_display_width(display), 800);
    EXPECT_EQ(al_get_display_height(display), 600);
}

TEST(Display, WithoutTheLibraryShowsTheBoxAndLeavesNoDisplay) {
    // al_init is never called: the display cannot be made, and must not be tried.
    BoxCloser closer({"ZEB error"});
    CapturedStream err(STDERR_FILENO);
    EXPECT_FALSE(set_video_mode(800, 600, 4));
    std::string message = err.text();
    EXPECT_EQ(display, nullptr);
    EXPECT_FALSE(display_created);
    EXPECT_EQ(closer.seen(), std::vector<std::string>{"ZEB error"});
    EXPECT_EQ(message, "terrain-viewer: no window could be opened (800x600)\n");
}
