// Time for the tests' deadlines.
#pragma once

#include <unistd.h>

#include <chrono>
#include <functional>

// Seconds on the steady clock, from an arbitrary start.
inline double now_seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Polls `done` every `poll_ms` until it holds; false if `seconds` pass first.
inline bool wait_until(const std::function<bool()>& done, double seconds = 30, int poll_ms = 10) {
    for (const double deadline = now_seconds() + seconds; !done(); usleep(useconds_t(poll_ms) * 1000))
        if (now_seconds() > deadline) return false;
    return true;
}
