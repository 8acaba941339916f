// Mouse look's own X connection: it asks where the pointer is and warps it,
// each request served in the order sent, so a position read is always one
// the server found after every warp sent before it. The library's polled
// position cannot promise that: it follows reports that come in later.
#pragma once

#include "engine/input_math.h"

// Opens the connection on the first call, for the display's window; false
// when it cannot be opened (said once on standard error: mouse look then
// reads the library's pointer, which may miss movement).
bool x_pointer_ready();
struct PointerQuery {
    int x, y;                // the pointer in the window's pixels, outside it too
    int window_x, window_y;  // the window's top left corner on the screen
    bool same_screen;        // false: the pointer is on another screen
    bool shown;              // the window is mapped: not unmapped or minimised
    bool grabbed_elsewhere;  // another client holds a grab of the pointer
};
// Where the pointer and the display's window are now. A grab is seen when it
// takes the pointer out of the window and is over when the pointer enters the
// window again.
PointerQuery x_pointer_query();
// Sends `warp` to the X server at once (display pixels).
void x_pointer_warp(const CentringWarp& warp);
