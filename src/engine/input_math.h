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
