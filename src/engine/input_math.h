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
// While the pointer is not mouse look's to hold it is left alone.

// Whether mouse look may count and warp the pointer: its window has the
// focus and is shown (not unmapped or minimised), and no other client holds a
// grab of the pointer (a menu, a window manager's drag, a screenshot tool).
inline bool pointer_free_for_look(bool focused, bool shown, bool grabbed_elsewhere) {
    return focused && shown && !grabbed_elsewhere;
}

struct PointerRead {
    int x, y;      // where mouse look takes the pointer to be
    bool counted;  // x, y are movement from the centre, to turn by
};

// The pointer found at (x, y) in a width x height window. `held`: the pointer
// is free for look and on the window's screen, and the last centring put it
// at the centre. Otherwise it reads as the centre, so the way it took while it
// was not held never turns the camera.
inline PointerRead read_pointer(int x, int y, bool held, int width, int height) {
    if (held) return {x, y, true};
    return {center_coordinate(width), center_coordinate(height), false};
}

struct CentringWarp {
    bool needed;    // false: no warp
    bool relative;  // move by (x, y); else put it at (x, y) in the window
    int x, y;
};

// The warp that brings the pointer back to (center_x, center_y) after it was
// last read as `read`: a move by the difference when it was counted, straight
// to the centre when not (just back in focus or shown, or never read), none
// while the pointer is not free for look (`free` false).
inline CentringWarp centring_warp(bool free, PointerRead read, int center_x, int center_y) {
    if (!free) return {false, false, 0, 0};
    if (!read.counted) return {true, false, center_x, center_y};
    const int by_x = center_x - read.x, by_y = center_y - read.y;
    return {by_x != 0 || by_y != 0, true, by_x, by_y};
}
