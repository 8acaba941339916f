// Pointer arithmetic of the input snapshots, free of the library so it can be
// checked without a window. Sizes and positions are display pixels.
#pragma once

// Where mouse_center puts the pointer on an axis `size` pixels long: half the
// size, truncated (803 gives 401, not 402).
inline int center_coordinate(int size) { return static_cast<int>(size * 0.5); }

// How far `position` lies before the centre of an axis `size` pixels long:
// positive left of / above the centre. Integer halving, so it agrees with
// center_coordinate and a centred pointer reads 0 on odd sizes too.
inline int offset_from_center(int size, int position) { return size / 2 - position; }

// Button edges from the button's state in the previous and the latest poll.
inline bool went_down(bool before, bool now) { return before < now; }
inline bool went_up(bool before, bool now) { return before > now; }

// Mouse look asks the X server where the pointer is, after every warp it sent,
// and sends the warp back to the centre at once as a move by the difference:
// a move the user makes while the warp is on its way is kept, not undone.

struct PointerRead {
    int x, y;     // where mouse look takes the pointer to be
    bool inside;  // the pointer was in the window
};

// The pointer found at (x, y) in a width x height window (`same_screen`
// false: on another screen). Outside the window it reads as the centre, so
// the way it travelled out there never turns the camera.
inline PointerRead read_pointer(int x, int y, bool same_screen, int width, int height) {
    if (same_screen && x >= 0 && y >= 0 && x < width && y < height) return {x, y, true};
    return {center_coordinate(width), center_coordinate(height), false};
}

struct CentringWarp {
    bool needed;    // false: the pointer is at the centre already
    bool relative;  // move by (x, y); else put it at (x, y) in the window
    int x, y;
};

// The warp that brings the pointer back to (center_x, center_y) after it was
// last read as `read` (`ever_read` false: not read yet). Inside the window, a
// move by the difference; from outside, or unknown, straight to the centre.
inline CentringWarp centring_warp(bool ever_read, PointerRead read, int center_x, int center_y) {
    if (!ever_read || !read.inside) return {true, false, center_x, center_y};
    const int by_x = center_x - read.x, by_y = center_y - read.y;
    return {by_x != 0 || by_y != 0, true, by_x, by_y};
}
