// Keyboard and mouse snapshots, polled once a frame; the previous snapshot is
// kept so movement and button edges can be asked for.

#include "engine/input_math.h"
#include "engine/key_latch.h"
#include "engine/x_pointer.h"
#include "engine/zeb.h"

// Static storage: all zero, that is nothing held, until the first poll.
ALLEGRO_KEYBOARD_STATE keyboard_now;
ALLEGRO_KEYBOARD_STATE keyboard_before;
ALLEGRO_MOUSE_STATE mouse_now;
ALLEGRO_MOUSE_STATE mouse_before;

namespace {

constexpr int LEFT_BUTTON = 1;
constexpr int RIGHT_BUTTON = 2;

// The keyboard's own events, read without waiting at each poll, for the
// keys that went down since the one before. Watched from the first poll or
// centring (the mesh build's watch, or the frame loop's start): a key let go
// before that does nothing. Without a queue (none could be made) a poll sees
// only the keys held at that moment.
ALLEGRO_EVENT_QUEUE* key_events = nullptr;
KeyLatch key_latch;

// Where the pointer was last read, or put by a centring since, and whether
// the last centring held it (the pointer was free for look). Before any
// centring the pointer reads where it is.
PointerRead pointer_read{0, 0, false};
bool pointer_held = true;
// Where the window was at the last read and at the last centring: a window
// moved under a still pointer (placed by the window manager after it opened,
// dragged by its title) is no movement of the user's.
PointerQuery last_query{0, 0, 0, 0, false, true, false};
bool ever_queried = false;
int held_window_x = 0, held_window_y = 0;
bool held_window_known = false;

int display_width() { return al_get_display_width(display); }
int display_height() { return al_get_display_height(display); }

bool held(const ALLEGRO_MOUSE_STATE& state, int button) {
    return al_mouse_button_down(&state, button);
}

void watch_keys() {
    static bool tried = false;
    if (tried || !al_is_keyboard_installed()) return;
    tried = true;
    key_events = al_create_event_queue();
    if (key_events) al_register_event_source(key_events, al_get_keyboard_event_source());
}

void latch_key_events() {
    ALLEGRO_EVENT event;
    while (key_events && al_get_next_event(key_events, &event))
        if (event.type == ALLEGRO_EVENT_KEY_DOWN) key_latch.went_down(event.keyboard.keycode);
}

bool pointer_free(const PointerQuery& q) {
    return pointer_free_for_look(display_has_focus(), q.shown, q.grabbed_elsewhere);
}

}  // namespace

void input_poll() {
    watch_keys();
    keyboard_before = keyboard_now;
    mouse_before = mouse_now;
    al_get_keyboard_state(&keyboard_now);
    // The events after the state: a press that comes between the two is
    // latched into this snapshot, not the next one as well, so a tap reads
    // down in exactly one snapshot.
    latch_key_events();
    key_latch.hold_in(keyboard_now);
    al_get_mouse_state(&mouse_now);
    // The library's position lags behind the warps of mouse look: read after
    // every warp sent, ours holds the movement made since the last centring.
    if (x_pointer_ready()) {
        const PointerQuery q = last_query = x_pointer_query();
        ever_queried = true;
        const bool window_moved = held_window_known && (q.window_x != held_window_x || q.window_y != held_window_y);
        pointer_read = read_pointer(q.x, q.y, pointer_held && q.same_screen && !window_moved && pointer_free(q),
                                    display_width(), display_height());
        mouse_now.x = pointer_read.x;
        mouse_now.y = pointer_read.y;
    }
}

void mouse_center() {
    watch_keys();
    const int x = center_coordinate(display_width()), y = center_coordinate(display_height());
    if (x_pointer_ready()) {
        if (!ever_queried) last_query = x_pointer_query(), ever_queried = true;
        pointer_held = pointer_free(last_query);
        held_window_x = last_query.window_x, held_window_y = last_query.window_y, held_window_known = true;
        const CentringWarp warp = centring_warp(pointer_held, pointer_read, x, y);
        if (warp.needed) x_pointer_warp(warp);
        // Centring again before the next poll must not move it twice.
        pointer_read = {x, y, pointer_held};
    } else {
        al_set_mouse_xy(display, x, y);
    }
    al_set_mouse_z(0);
}

int mouse_offset_x() { return offset_from_center(display_width(), mouse_now.x); }
int mouse_offset_y() { return offset_from_center(display_height(), mouse_now.y); }
int mouse_wheel() { return mouse_now.z; }
int mouse_delta_x() { return mouse_now.x - mouse_before.x; }
int mouse_delta_y() { return mouse_now.y - mouse_before.y; }
int mouse_wheel_delta() { return mouse_now.z - mouse_before.z; }

bool mouse_left_down() { return held(mouse_now, LEFT_BUTTON); }
bool mouse_left_pressed() { return went_down(held(mouse_before, LEFT_BUTTON), held(mouse_now, LEFT_BUTTON)); }
bool mouse_left_released() { return went_up(held(mouse_before, LEFT_BUTTON), held(mouse_now, LEFT_BUTTON)); }
bool mouse_right_down() { return held(mouse_now, RIGHT_BUTTON); }
bool mouse_right_pressed() { return went_down(held(mouse_before, RIGHT_BUTTON), held(mouse_now, RIGHT_BUTTON)); }
bool mouse_right_released() { return went_up(held(mouse_before, RIGHT_BUTTON), held(mouse_now, RIGHT_BUTTON)); }
