// The one way out for failures that can strike on any thread at any time (a
// lost X display, exhausted memory): a line on standard error and status 1,
// never a signal.
#pragma once

// Writes "terrain-viewer: " and the formatted reason to standard error (after
// standard output is flushed, unless another thread keeps it; lost output is
// said too) and ends the process with status 1 at once, without the
// library's exit hook. Only the first caller ends it: a thread that calls
// later waits for that end.
[[noreturn]] void fatal_exit(const char* format, ...) __attribute__((format(printf, 1, 2)));
