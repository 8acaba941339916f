// X errors and a broken X connection, which Xlib answers by exiting from
// whichever thread meets them: the library reads X events on a thread of its
// own, so two threads may exit at once and crash in the exit handlers. Here
// one line says what happened and the process ends with status 1 (fatal_exit).
#pragma once

// Puts the viewer's handlers in place of Xlib's; before or after any
// connection is opened.
void x_errors_install();

// Puts them back after a toolkit put in its own (the native boxes' does);
// nothing when x_errors_install was never called.
void x_errors_reclaim();

// What the viewer is doing, to be named when an X error ends the run
// ("opening the window"); null when nothing in particular.
void x_errors_during(const char* activity);
