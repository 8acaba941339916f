// Timing and memory helpers shared by the benchmarks.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>

// Wall-clock seconds `work` takes.
inline double seconds_of(const std::function<void()>& work) {
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs `work` with standard output sent to /dev/null (progress and angle lines).
inline void quietly(const std::function<void()>& work) {
    fflush(stdout);
    int saved = dup(STDOUT_FILENO), null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    work();
    fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(null);
    close(saved);
}

// A size field of /proc/self/status ("VmRSS:" resident now, "VmHWM:" its
// peak), KiB; -1 if it cannot be read.
inline long status_kib(const char* field) {
    FILE* status = fopen("/proc/self/status", "r");
    if (!status) return -1;
    char line[256];
    long kib = -1;
    const size_t length = strlen(field);
    while (fgets(line, sizeof line, status))
        if (strncmp(line, field, length) == 0) kib = atol(line + length);
    fclose(status);
    return kib;
}
