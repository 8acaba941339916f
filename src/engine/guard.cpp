#include "engine/guard.h"

#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "engine/console.h"
#include "engine/fatal.h"
#include "engine/x_errors.h"

namespace {

constexpr int TERMINATION_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
// Seconds the run has, after the first termination signal, to end at a
// frame's or a step's end.
constexpr unsigned END_SECONDS = 3;
// Lock-free, so the handler may touch them on whichever thread it runs.
std::atomic<int> termination_signal{0};
std::atomic<bool> ending_at_once{false};

void restore_default_action(int signal) {
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

// Ends the process by `signal` now, without a word: whatever standard
// output holds back (an unfinished line) is left unwritten.
[[noreturn]] void end_by(int signal) {
    restore_default_action(signal);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    _exit(128 + signal);  // not reached: the default action of each ends the process
}

// Only async-signal-safe calls: it may interrupt anything, a print included.
void on_termination_signal(int signal) {
    const int saved_errno = errno;
    int none = 0;
    if (ending_at_once || !termination_signal.compare_exchange_strong(none, signal)) end_by(signal);
    // The main thread may wait on something that never comes (a frozen X
    // server): if it has not ended the run by then, the alarm does.
    alarm(END_SECONDS);
    errno = saved_errno;
}

void on_alarm(int) {
    if (const int signal = termination_signal) end_by(signal);
}

void ask_to_end_on_termination_signals() {
    struct sigaction alarm_action = {};
    alarm_action.sa_handler = on_alarm;
    sigemptyset(&alarm_action.sa_mask);
    alarm_action.sa_flags = SA_RESTART;
    sigaction(SIGALRM, &alarm_action, nullptr);
    for (int signal : TERMINATION_SIGNALS) {
        struct sigaction action = {};
        if (sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) continue;
        action.sa_handler = on_termination_signal;
        sigemptyset(&action.sa_mask);
        // A write that waits for a slow reader goes on waiting: the request
        // is seen once the frame is done.
        action.sa_flags = SA_RESTART;
        sigaction(signal, &action, nullptr);
    }
}

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
    ask_to_end_on_termination_signals();
}

bool termination_requested() { return termination_signal != 0; }

int end_of_run(int status) {
    status = console_exit_status(status);
    if (const int signal = termination_signal) end_by(signal);
    return status;
}

void signals_end_at_once(bool at_once) {
    ending_at_once = at_once;
    if (at_once && termination_signal) end_of_run(EXIT_FAILURE);
}
