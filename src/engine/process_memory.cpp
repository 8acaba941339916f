#include "engine/process_memory.h"

#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "engine/saturating.h"

namespace {

uint64_t rlimit_of(int resource) {
    struct rlimit limit;
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return NO_LIMIT;
    return limit.rlim_cur;
}

}  // namespace

std::string read_system_file(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

ProcessLimits process_limits() { return {rlimit_of(RLIMIT_AS), rlimit_of(RLIMIT_DATA)}; }

uint64_t status_bytes(const std::string& status, const char* key) {
    for (size_t at = status.find(key); at != std::string::npos; at = status.find(key, at + 1)) {
        if (at > 0 && status[at - 1] != '\n') continue;  // a key only at a line's start
        unsigned long long kib;
        if (sscanf(status.c_str() + at + strlen(key), " %llu kB", &kib) == 1) return saturating_product(kib, 1024);
    }
    return 0;
}

uint64_t address_space_left() {
    const uint64_t limit = process_limits().address_space;
    if (limit == NO_LIMIT) return NO_LIMIT;
    const uint64_t used = status_bytes(read_system_file("/proc/self/status"), "VmSize:");
    return limit > used ? limit - used : 0;
}
