#include "engine/guard.h"

#include <signal.h>

#include "engine/x_errors.h"

void guard_process() {
    // Writes to a pipe nobody reads, or past RLIMIT_FSIZE (the sound library
    // sizes a 64 MiB shared buffer at start-up), fail with EPIPE and EFBIG.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    x_errors_install();
}
