// A bar drawn with clipped clears, so the build's screen needs no add-on and
// no transform: the frame loop sets up its own before the first frame.

#include "app/build_progress.h"

#include <chrono>

#include "app/frame_loop.h"
#include "engine/zeb.h"

namespace {

// A clipped clear: a filled rectangle, in display pixels.
void fill(int x, int y, int width, int height, ALLEGRO_COLOR colour) {
    if (width <= 0 || height <= 0) return;
    al_set_clipping_rectangle(x, y, width, height);
    al_clear_to_color(colour);
}

}  // namespace

void draw_build_progress(int rows_done, int rows) {
    al_set_target_backbuffer(display);
    const int width = al_get_display_width(display), height = al_get_display_height(display);
    // A frame a pixel wide round the bar, three quarters of the window wide.
    const int left = width / 8, top = height / 2 - 8, bar_width = width - 2 * left, bar_height = 16;
    const int done = rows > 0 ? int(int64_t(bar_width - 4) * rows_done / rows) : 0;
    al_reset_clipping_rectangle();
    al_clear_to_color(al_map_rgb(0, 0, 0));
    fill(left, top, bar_width, bar_height, al_map_rgb(96, 96, 96));
    fill(left + 1, top + 1, bar_width - 2, bar_height - 2, al_map_rgb(0, 0, 0));
    fill(left + 2, top + 2, done, bar_height - 4, al_map_rgb(0, 160, 0));
    al_reset_clipping_rectangle();
    al_flip_display();
}

MeshBuildWatch build_progress_watch() {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    Clock::time_point drawn;
    bool ever_drawn = false;
    const bool can_draw = display != nullptr;
    const bool can_poll = display && al_is_keyboard_installed() && al_is_mouse_installed();
    return [=](int rows_done, int rows) mutable {
        if (can_poll) input_poll();
        if (run_end_requested()) return false;
        const Clock::time_point now = Clock::now();
        if (can_draw && std::chrono::duration<double>(now - start).count() >= PROGRESS_SHOWN_AFTER &&
            (!ever_drawn || std::chrono::duration<double>(now - drawn).count() >= PROGRESS_REDRAW_SECONDS)) {
            draw_build_progress(rows_done, rows);
            drawn = now, ever_drawn = true;
        }
        return true;
    };
}
