#include "engine/thread_room.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

// Holds the trial threads until every one has been started.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
};

void* wait_at_gate(void* gate_pointer) {
    Gate& gate = *static_cast<Gate*>(gate_pointer);
    std::unique_lock<std::mutex> lock(gate.mutex);
    gate.opened.wait(lock, [&] { return gate.open; });
    return nullptr;
}

// Starts `count` threads that wait together: 0 when all started, else the
// error of the first that did not.
int start_together(int count) {
    Gate gate;
    pthread_attr_t small;
    pthread_attr_init(&small);
    // The least stack there is: a trial must not fail for address space.
    pthread_attr_setstacksize(&small, PTHREAD_STACK_MIN);
    std::vector<pthread_t> started;
    int error = 0;
    for (int i = 0; i < count && error == 0; i++) {
        pthread_t thread;
        error = pthread_create(&thread, &small, wait_at_gate, &gate);
        if (error == 0) started.push_back(thread);
    }
    pthread_attr_destroy(&small);
    {
        std::lock_guard<std::mutex> lock(gate.mutex);
        gate.open = true;
    }
    gate.opened.notify_all();
    for (pthread_t thread : started) pthread_join(thread, nullptr);
    return error;
}

// Threads the viewer runs at once at most here, its main thread included:
// the library's event thread, OpenAL's two, the software renderer's (two a
// core, and a disk-cache writer) and an error box's toolkit's two.
int threads_needed() {
    const int cores = int(std::clamp(sysconf(_SC_NPROCESSORS_ONLN), 1L, 256L));
    return 1 + 1 + 2 + (2 * cores + 1) + 2;
}

}  // namespace

std::string thread_room_problem() {
    const int needed = threads_needed();
    // EAGAIN: a limit on processes and threads, the user's (RLIMIT_NPROC) or
    // the system's.
    if (start_together(needed - 1) != EAGAIN) return "";
    const std::string wanted = "cannot start the " + std::to_string(needed) + " threads the viewer needs at once: ";
    rlimit limit;
    if (getrlimit(RLIMIT_NPROC, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return wanted + "the system allows no more now (a control group's pids.max, or kernel.threads-max)";
    return wanted + "the limit on this user's processes and threads (ulimit -u) is " +
           std::to_string(limit.rlim_cur) + "; raise it (ulimit -u " + std::to_string(limit.rlim_cur + needed) +
           ") or end other programs of this user";
}
