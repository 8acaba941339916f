// Time for the tests' deadlines.
#pragma once

#include <chrono>

// Seconds on the steady clock, from an arbitrary start.
inline double now_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
