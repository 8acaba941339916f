// The X display named by DISPLAY, asked before the library or a box connects
// to it: Xlib waits for ever on a server that accepts and never answers in
// full, or answers in another protocol.
#pragma once

#include <string>

// Seconds an X server has to answer the start of a connection.
constexpr int X_ANSWER_SECONDS = 4;

// Asks the X display named by DISPLAY, X_ANSWER_SECONDS at most. When it
// accepts, that connection is held open until x_display_library_started, so
// a server that resets when its last client leaves (one started without
// -noreset) never sees that happen before the library has connected. When
// Xlib would wait on it (silent, an answer in part, not an X server), DISPLAY
// is removed from the environment, so the library and the boxes go on as
// with no display, and the name is remembered.
void x_display_ask_before_library();

// Once the library has started: closes the held connection, the library's own
// being made by then. When the display accepted and the library nonetheless
// holds no connection to it (`connected` false), DISPLAY is set aside too.
void x_display_library_started(bool connected);

// Why no window can be opened on the X display, when the display is the
// cause: not set, set aside (what it did), not reachable, closed or refused
// the connection (XAUTHORITY named), failed the library right after it
// answered, no 24-bit colour visual, no OpenGL (GLX). "" when none of these
// holds.
std::string x_display_problem();
