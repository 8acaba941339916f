#include "engine/guard.h"

#include <malloc.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "engine/fatal.h"
#include "engine/x_errors.h"

namespace {

// Called by operator new when memory runs out, instead of throwing into code
// that cannot catch it (which aborts).
void on_out_of_memory() { fatal_exit("out of memory: an allocation failed, so the run ends here"); }

}  // namespace

void guard_process() {
    // One malloc arena for all threads: each further arena reserves 64 MiB of
    // address space, half a gigabyte for the library's and the renderer's
    // threads, which an address-space limit (ulimit -v) counts in full.
    mallopt(M_ARENA_MAX, 1);
    // The error boxes' toolkit (GTK) would load an OpenGL driver to look at
    // the screen's visuals: some 200 MB of address space, which under
    // ulimit -v made it fail to start its threads. A box needs no OpenGL.
    // Set before any thread starts; a user's own setting stays.
    setenv("GDK_GL", "disable", 0);
    // Writes to a pipe nobody reads, or past RLIMIT_FSIZE (the sound library
    // sizes a 64 MiB shared buffer at start-up), fail with EPIPE and EFBIG.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    std::set_new_handler(on_out_of_memory);
    x_errors_install();
}
