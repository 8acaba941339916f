// The viewer's one display: created by the first set_video_mode, resized by
// later ones.

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "engine/error_box.h"
#include "engine/process_memory.h"
#include "engine/x_display_check.h"
#include "engine/x_errors.h"
#include "engine/zeb.h"

ALLEGRO_DISPLAY* display = nullptr;
bool display_created = false;

namespace {

// The display's own events, looked at for its close button and its focus.
ALLEGRO_EVENT_QUEUE* display_events = nullptr;
bool close_requested = false;
bool focused = true;  // until told otherwise: the window has just been opened

void take_display_events() {
    ALLEGRO_EVENT event;
    while (display_events && al_get_next_event(display_events, &event)) {
        if (event.type == ALLEGRO_EVENT_DISPLAY_CLOSE) close_requested = true;
        if (event.type == ALLEGRO_EVENT_DISPLAY_SWITCH_IN) focused = true;
        if (event.type == ALLEGRO_EVENT_DISPLAY_SWITCH_OUT) focused = false;
    }
}

// Address space that opening the window maps: the renderer's threads and its
// shader compiler, about 250 MiB with Mesa's software renderer on two cores,
// and a thread's stack more for each further core. With less left under an
// address-space limit the library runs out part way and crashes instead of
// failing.
uint64_t window_address_space() {
    const long cores = std::clamp(sysconf(_SC_NPROCESSORS_ONLN), 2L, 64L);
    return (uint64_t(288) + 16 * uint64_t(cores - 2)) << 20;
}

// Flags for bitmaps created from now on; unknown modes leave them alone. The
// last two were bitmap flags in Allegro 5.0 and are the loader's flags of the
// same names and bits since 5.2.
void set_bitmap_flags_for_mode(int16_t mode) {
    switch (mode) {
        case VIDEO_MODE_MEMORY_BITMAPS: al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP); break;
        case VIDEO_MODE_STRAIGHT_ALPHA: al_set_new_bitmap_flags(ALLEGRO_NO_PREMULTIPLIED_ALPHA); break;
        case VIDEO_MODE_KEEP_FORMAT: al_set_new_bitmap_flags(ALLEGRO_KEEP_BITMAP_FORMAT); break;
        default: break;
    }
}

std::string size_text(unsigned width, unsigned height) { return std::to_string(width) + "x" + std::to_string(height); }

// The "ZEB error" box, after "terrain-viewer: `what`" on standard error.
bool report_video_mode_failure(const std::string& what) {
    show_error_box("ZEB error", "", "ZEB: Unsupported video mode requested", "terrain-viewer: %s", what.c_str());
    return false;
}

// `why` ("" when unknown) no window could be opened.
bool report_no_window(unsigned width, unsigned height, const std::string& why) {
    return report_video_mode_failure("no window could be opened (" + size_text(width, height) +
                                     (why.empty() ? "" : ": " + why) + ")");
}

}  // namespace

bool set_video_mode(uint16_t width, uint16_t height, int16_t mode) {
    if (display_created) {
        if (!al_resize_display(display, width, height))
            return report_video_mode_failure("the window could not be resized to " + size_text(width, height));
        al_acknowledge_resize(display);
        return true;
    }
    // Without the library there is nothing to create a display with.
    if (!al_is_system_installed()) return report_no_window(width, height, x_display_problem());
    if (const uint64_t left = address_space_left(), needed = window_address_space(); left < needed)
        return report_no_window(width, height,
                                "the address-space limit (ulimit -v) leaves " + std::to_string(left >> 20) +
                                    " MiB, and opening it takes about " + std::to_string(needed >> 20) + " MiB");
    set_bitmap_flags_for_mode(mode);
    x_errors_hold();
    display = al_create_display(width, height);
    const std::string refused = x_errors_release();
    if (!display)
        return report_no_window(width, height,
                                refused.empty() ? x_display_problem() : "the X server refused a request: " + refused);
    display_created = true;
    // Without a queue the close button goes unseen (Escape still ends the
    // run) and the window counts as always focused.
    display_events = al_create_event_queue();
    if (display_events) al_register_event_source(display_events, al_get_display_event_source(display));
    return true;
}

bool display_close_requested() {
    take_display_events();
    return close_requested;
}

bool display_has_focus() {
    take_display_events();
    return focused;
}
