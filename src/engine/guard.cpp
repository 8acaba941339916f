#include "engine/guard.h"

#include <signal.h>

#include <new>

#include "engine/fatal.h"
#include "engine/x_errors.h"

namespace {

// Called by operator new when memory runs out, instead of throwing into code
// that cannot catch it (which aborts).
void on_out_of_memory() { fatal_exit("out of memory: an allocation failed, so the run ends here"); }

}  // namespace

void guard_process() {
    // Writes to a pipe nobody reads, or past RLIMIT_FSIZE (the sound library
    // sizes a 64 MiB shared buffer at start-up), fail with EPIPE and EFBIG.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    std::set_new_handler(on_out_of_memory);
    x_errors_install();
}
