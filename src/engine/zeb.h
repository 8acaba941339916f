// ZEB, the viewer's engine layer: library start-up, the one display and the
// keyboard and mouse snapshots. Free functions over module globals; main
// thread only. Sizes are display pixels.
#pragma once

#include <allegro5/allegro.h>
#include <cstdint>

// --- start-up (platform.cpp) ----------------------------------------------

// Starts the library, keyboard, mouse, audio and six add-ons in that order;
// stops at the first failure and reports it. Prints "ZEB initialized
// successfully" (no line end) and returns true when all start. A second call
// re-checks every step: what is running stays running. An X display that
// does not answer as one within seconds, or a sound output that does not
// answer, is gone without (sound: OpenAL's silent output). Where the threads
// the library and the renderer need cannot start, the process ends first,
// with a line on standard error and status 1.
bool platform_init();

// The step ("install_mouse") at which the last platform_init stopped; null
// when every step started or platform_init has not run.
const char* platform_stopped_at();

// Writes "ZEB init error: Allegro5 error: al_<step>() failed" to standard
// error, then shows the "ZEB init error" box with that message; blocks until
// the box is closed. Always false.
bool report_init_failure(const char* step);

// --- display (display.cpp) -------------------------------------------------

extern ALLEGRO_DISPLAY* display;  // null until created; null after a failed creation
extern bool display_created;      // a display exists, so later calls resize it

// Video modes choose the flags of bitmaps made after the display opens.
constexpr int16_t VIDEO_MODE_MEMORY_BITMAPS = 4;  // ALLEGRO_MEMORY_BITMAP: CPU-side bitmaps
constexpr int16_t VIDEO_MODE_STRAIGHT_ALPHA = 5;  // ALLEGRO_NO_PREMULTIPLIED_ALPHA
constexpr int16_t VIDEO_MODE_KEEP_FORMAT = 6;     // ALLEGRO_KEEP_BITMAP_FORMAT

// Creates the display on the first call, resizes it on later ones (mode
// ignored then). On failure writes why to standard error ("terrain-viewer: no
// window could be opened (800x600: DISPLAY is not set, ...)"), shows the
// "ZEB error" box and returns false. An X error while the display is being
// created ends the run instead (x_errors.h).
bool set_video_mode(uint16_t width, uint16_t height, int16_t mode);

// Whether the window was asked to close (its close button, a window manager's
// WM_DELETE_WINDOW) since it opened; never waits.
bool display_close_requested();
// Whether the window has the keyboard focus, as far as its events have told
// since it opened (true until they tell otherwise); never waits.
bool display_has_focus();

// --- input snapshots (input.cpp) --------------------------------------------
// All zero until the first poll. Width and height are asked of the library at
// every call, never cached; every query needs a display. The pointer's x and y
// are read from the X server after every warp mouse_center sent (x_pointer.h),
// so movement made while a warp is on its way is kept. While the window has
// not the focus or is not shown (unmapped, minimised), or another client
// holds a grab of the pointer, the pointer reads as the centre and is not
// warped; after that, movement counts from the centre again. keyboard_now
// holds the keys held at the poll and every key that went down since the
// poll before, even one let go by then.

extern ALLEGRO_KEYBOARD_STATE keyboard_now;
extern ALLEGRO_KEYBOARD_STATE keyboard_before;
extern ALLEGRO_MOUSE_STATE mouse_now;
extern ALLEGRO_MOUSE_STATE mouse_before;

void input_poll();        // now -> before, then reads keyboard and mouse anew
void mouse_center();      // warps the pointer back to the display centre, wheel to 0
int mouse_offset_x();     // pixels the pointer is left of the centre
int mouse_offset_y();     // pixels the pointer is above the centre
int mouse_wheel();        // wheel position (reset to 0 by mouse_center)
int mouse_delta_x();      // pixels moved right since the last poll
int mouse_delta_y();      // pixels moved down since the last poll
int mouse_wheel_delta();  // wheel steps since the last poll
bool mouse_left_down();
bool mouse_left_pressed();    // went down in the last poll
bool mouse_left_released();   // went up in the last poll
bool mouse_right_down();
bool mouse_right_pressed();
bool mouse_right_released();
