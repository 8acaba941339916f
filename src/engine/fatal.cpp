#include "engine/fatal.h"

#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "engine/console.h"

namespace {

std::atomic<bool> ending{false};
thread_local bool this_thread_ends = false;

}  // namespace

void fatal_exit(const char* format, ...) {
    if (ending.exchange(true)) {
        // Failing again while saying why: end without another word.
        if (this_thread_ends) _exit(EXIT_FAILURE);
        // Another thread is ending the process; two ends at once crash in
        // the exit handlers.
        for (;;) pause();
    }
    this_thread_ends = true;
    char reason[512];
    va_list args;
    va_start(args, format);
    vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    // Not exit(): the library's exit hook would shut the library down from
    // this thread while the main thread may still be drawing with it, and
    // after a lost display or exhausted memory it would fail on its own.
    // The system takes back the window, the memory and the sound device.
    _exit(console_final_line(EXIT_FAILURE, "terrain-viewer: %s", reason));
}
