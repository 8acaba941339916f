// The X display named by DISPLAY, asked before the library or a box connects
// to it: Xlib waits for ever on a server that accepts and never answers.
#pragma once

#include <string>

// Seconds an X server has to answer the start of a connection.
constexpr int X_ANSWER_SECONDS = 4;

// When DISPLAY names a server that accepts and does not answer within
// X_ANSWER_SECONDS, removes DISPLAY from the environment (so the library and
// the boxes go on as with no display) and remembers the name; true then.
bool x_display_set_aside_if_silent();

// Why no window can be opened on the X display, when the display is the
// cause: not set, set aside as silent, not reachable, refused the connection
// (XAUTHORITY named), no 24-bit colour visual, no OpenGL (GLX). "" when none
// of these holds.
std::string x_display_problem();
