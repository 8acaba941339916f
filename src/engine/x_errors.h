// X errors and a broken X connection, which Xlib answers by exiting from
// whichever thread meets them: the library reads X events on a thread of its
// own, so two threads may exit at once and crash in the exit handlers. Here
// one line says what happened and the process ends with status 1 (fatal_exit).
#pragma once

#include <string>

// Puts the viewer's handlers in place of Xlib's; before or after any
// connection is opened.
void x_errors_install();

// Puts them back after a toolkit put in its own (the native boxes' does);
// nothing when x_errors_install was never called.
void x_errors_reclaim();

// From now until x_errors_release, an X error does not end the run: the
// first is kept. Opening the window asks about other clients' windows, which
// may vanish meanwhile (the focused one, say); a real failure shows as no
// window.
void x_errors_hold();

// Ends x_errors_hold: what the X server refused meanwhile ("BadWindow
// (invalid Window parameter) in X_GetWindowAttributes"), "" for nothing.
std::string x_errors_release();
