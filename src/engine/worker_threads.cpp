#include "engine/worker_threads.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>

namespace {

// The jobs here keep their buffers on the heap: a small stack keeps the
// address space that an address-space limit (ulimit -v) counts small too.
constexpr size_t STACK_BYTES = size_t(256) << 10;

}  // namespace

int usable_cores() {
    cpu_set_t cores;
    if (sched_getaffinity(0, sizeof cores, &cores) == 0) return std::max(1, CPU_COUNT(&cores));
    return int(std::max(1L, sysconf(_SC_NPROCESSORS_ONLN)));
}

WorkerThreads::WorkerThreads(int count, std::function<void(int)> job) : job_(std::move(job)) {
    if (count <= 1) return;
    starts_.reserve(size_t(count - 1));  // never moved: each thread holds the address of its own
    pthread_attr_t attributes;
    const bool sized = pthread_attr_init(&attributes) == 0;
    if (sized) pthread_attr_setstacksize(&attributes, STACK_BYTES);
    for (int index = 1; index < count; index++) {
        starts_.push_back({&job_, index});
        pthread_t thread;
        const auto run = [](void* start) -> void* {
            const Start& s = *static_cast<Start*>(start);
            (*s.job)(s.index);
            return nullptr;
        };
        if (pthread_create(&thread, sized ? &attributes : nullptr, run, &starts_.back()) != 0) {
            starts_.pop_back();
            break;  // the system lets no more start now
        }
        threads_.push_back(thread);
    }
    if (sized) pthread_attr_destroy(&attributes);
}

void WorkerThreads::join() {
    for (pthread_t thread : threads_) pthread_join(thread, nullptr);
    threads_.clear();
}

void run_on_threads(int count, const std::function<void(int)>& job) {
    WorkerThreads others(count, job);
    job(0);
}
