// Threads that share a job with the calling thread: the long builds of
// start-up (the terrain mesh, its blocks of cells) run on every core.
#pragma once

#include <functional>
#include <vector>

#include <pthread.h>

// The processors this process may run on (its affinity mask), at least 1.
int usable_cores();

// Threads running `job(index)`, index 1 to count - 1 (0 is the calling
// thread's, by convention). As many start as the system lets: a thread that
// cannot start (a process or memory limit) is left out, so even none may
// run, and the calling thread must be able to do the whole job alone.
class WorkerThreads {
public:
    WorkerThreads(int count, std::function<void(int index)> job);
    ~WorkerThreads() { join(); }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    int started() const { return int(threads_.size()); }  // threads running beside the caller
    void join();                                          // waits for each to return

private:
    struct Start {
        const std::function<void(int)>* job;
        int index;
    };
    std::function<void(int)> job_;
    std::vector<Start> starts_;
    std::vector<pthread_t> threads_;
};

// Runs `job(index)` on `count` threads at most, the calling one (index 0)
// included, and returns when all have returned; the job shares its work out
// itself (a counter of the pieces taken, say).
void run_on_threads(int count, const std::function<void(int index)>& job);
