// Room for the threads the viewer needs. The library stops the process with
// an assertion when its event thread cannot start, and OpenAL and Mesa's
// software renderer wait for ever for a thread that never started: the
// room is made sure of before any of them starts.
#pragma once

#include <string>

// Starts as many idle threads at once as the viewer runs at most (the
// library's, the sound output's, the renderer's: two a core, an error box's)
// and ends them again. "" when they all started; else why not, naming the
// process limit (ulimit -u) when it is set. Other failures (no memory for a
// stack) are left to show where they strike.
std::string thread_room_problem();
