#include <allegro5/allegro_acodec.h>
#include <allegro5/allegro_audio.h>
#include <allegro5/allegro_font.h>
#include <allegro5/allegro_image.h>
#include <allegro5/allegro_primitives.h>
#include <allegro5/allegro_ttf.h>
#include <allegro5/allegro_video.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/zeb.h"
#include "test_files.h"

TEST(Startup, StartsEverythingAndSaysSoWithoutALineEnd) {
    CapturedStream out(STDOUT_FILENO);
    ASSERT_TRUE(platform_init());
    EXPECT_EQ(out.text(), "ZEB initialized successfully");
    EXPECT_TRUE(al_is_system_installed());
    EXPECT_TRUE(al_is_keyboard_installed());
    EXPECT_TRUE(al_is_mouse_installed());
    EXPECT_TRUE(al_is_audio_installed());
    EXPECT_TRUE(al_is_acodec_addon_initialized());
    EXPECT_TRUE(al_is_font_addon_initialized());
    EXPECT_TRUE(al_is_image_addon_initialized());
    EXPECT_TRUE(al_is_primitives_addon_initialized());
    EXPECT_TRUE(al_is_ttf_addon_initialized());
    EXPECT_TRUE(al_is_video_addon_initialized());

    // Called again, every step finds its part running and succeeds.
    CapturedStream again(STDOUT_FILENO);
    EXPECT_TRUE(platform_init());
    EXPECT_EQ(again.text(), "ZEB initialized successfully");
}
