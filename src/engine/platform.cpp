// Library start-up: the library, its input drivers and add-ons, in a fixed
// order, stopping at the first step that fails.

#include <allegro5/allegro_acodec.h>
#include <allegro5/allegro_audio.h>
#include <allegro5/allegro_font.h>
#include <allegro5/allegro_image.h>
#include <allegro5/allegro_primitives.h>
#include <allegro5/allegro_ttf.h>
#include <allegro5/allegro_video.h>

#include <cstdlib>
#include <string>

#include "engine/console.h"
#include "engine/error_box.h"
#include "engine/fatal.h"
#include "engine/sound_output.h"
#include "engine/thread_room.h"
#include "engine/x_display_check.h"
#include "engine/zeb.h"

namespace {

// The library version the engine was written against (5.2.0, release 1);
// every 5.2 library accepts it.
constexpr int ZEB_ALLEGRO_VERSION = 0x05020001;

// The library's own exit hook is the C runtime's atexit, so it shuts itself
// down when the process ends. Before it starts its first thread, room for
// the threads it and the renderer need is made sure of (without, a line and
// status 1) and the sound output is chosen. It connects to the X display as
// it starts, and would wait for ever on one that does not answer as an X
// server: the display is asked right before, and such a one is set aside, so
// that the library starts without it.
bool start_library() {
    if (al_is_system_installed()) return al_install_system(ZEB_ALLEGRO_VERSION, atexit);
    if (const std::string why = thread_room_problem(); !why.empty()) fatal_exit("%s", why.c_str());
    choose_sound_output();
    x_display_ask_before_library();
    // Where the library does not start, the check's connection stays open
    // until the process ends.
    if (!al_install_system(ZEB_ALLEGRO_VERSION, atexit)) return false;
    // The library tells of no monitor only when it has no X connection.
    x_display_library_started(al_get_num_video_adapters() > 0);
    return true;
}

struct InitStep {
    const char* name;  // the library call without its "al_" prefix
    bool (*start)();
};

const InitStep INIT_STEPS[] = {
    {"init", start_library},
    {"install_keyboard", al_install_keyboard},
    {"install_mouse", al_install_mouse},
    {"install_audio", start_sound_output},
    {"init_acodec_addon", al_init_acodec_addon},
    {"init_font_addon", al_init_font_addon},
    {"init_image_addon", al_init_image_addon},
    {"init_primitives_addon", al_init_primitives_addon},
    {"init_ttf_addon", al_init_ttf_addon},
    {"init_video_addon", al_init_video_addon},
};

const char* stopped_at = nullptr;

}  // namespace

bool platform_init() {
    stopped_at = nullptr;
    for (const InitStep& step : INIT_STEPS) {
        if (!step.start()) {
            stopped_at = step.name;
            return report_init_failure(step.name);
        }
    }
    console_print("ZEB initialized successfully");
    return true;
}

bool report_init_failure(const char* step) {
    const std::string message = std::string("Allegro5 error: al_") + step + "() failed";
    show_error_box("ZEB init error", "", message.c_str(), "ZEB init error: %s", message.c_str());
    return false;
}

const char* platform_stopped_at() { return stopped_at; }
