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
// Where the pointer is now in the display's window (pixels, outside it too);
// false when it is on another screen.
bool x_pointer_query(int& x, int& y);
// Sends `warp` to the X server at once (display pixels).
void x_pointer_warp(const CentringWarp& warp);
