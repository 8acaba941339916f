// The window while the terrain mesh builds: a bar of the rows done, and the
// run's ends (Escape, the close button, a termination signal) cancel the build.
#pragma once

#include "terrain/terrain_mesh.h"

constexpr double PROGRESS_SHOWN_AFTER = 0.5;      // seconds into the build: a short one shows nothing
constexpr double PROGRESS_REDRAW_SECONDS = 0.25;  // the bar's redraws, at most this often

// The watch for build_terrain_mesh: polls the input at each call and says
// false once the run is to end (run_end_requested), and from
// PROGRESS_SHOWN_AFTER on redraws the bar every PROGRESS_REDRAW_SECONDS. Needs
// the display, keyboard and mouse to draw and to read Escape; without them it
// still sees the close button and a termination signal.
MeshBuildWatch build_progress_watch();

// Clears the window and draws `rows_done` of `rows` as a bar across it, then
// shows it. Needs only the library's core and the display.
void draw_build_progress(int rows_done, int rows);
