#include "heightmap/memory_budget.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "engine/process_memory.h"
#include "engine/saturating.h"

namespace {

constexpr uint64_t MIN_FREE_BYTES = uint64_t(512) << 20;
// What the viewer allocates after its check beyond the image: the decoder's
// row buffers and the software renderer compiling its drawing, 1 to 6 MB,
// and the renderer's working memory for the triangles of a frame, which grows
// with the cells in view up to 127 MB of address space (measured with images
// of 1000 x 1000 to 3000 x 3000 looking down the rows, 1 to 16 renderer
// threads). Half as much again stays free under a limit of the process or
// its cgroup: with less, the renderer crashes at such a view.
constexpr uint64_t PROCESS_MARGIN = uint64_t(192) << 20;

// A cgroup limit file's value: a byte count, or "max" for none.
bool limit_value(const std::string& text, uint64_t& value) { return strict_count(text.c_str(), value); }

uint64_t less(uint64_t a, uint64_t b) { return a > b ? a - b : 0; }

// The cgroup path of a controller in /proc/self/cgroup's lines
// ("4:memory:/a/b", "0::/a/b" for version 2); false if it is not there.
bool cgroup_path(const std::string& lines, const std::string& controllers, std::string& path) {
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);) {
        const size_t first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos) continue;
        const std::string names = line.substr(first + 1, second - first - 1);
        bool match = controllers.empty() ? names.empty() : false;
        for (std::istringstream list(names); !match && std::getline(list, path, ',');) match = path == controllers;
        if (match) {
            path = line.substr(second + 1);
            return true;
        }
    }
    return false;
}

// The folder `path` and each one above it up to `root`, deepest first.
std::vector<std::string> folders_up(const std::string& root, std::string path) {
    std::vector<std::string> folders;
    while (!path.empty() && path.back() == '/') path.pop_back();
    for (;;) {
        folders.push_back(root + path);
        if (path.empty()) break;
        const size_t slash = path.rfind('/');
        path.erase(slash == std::string::npos ? 0 : slash);  // a path not from the root goes up to it
    }
    return folders;
}

// Version 2: every group from the process's up to the root has its own
// memory.max, and the kernel holds each. Page cache that has gone unused a
// while (inactive_file) is dropped before the group runs out; what is in use
// (the program and its libraries, say) is not counted as free.
void add_v2_groups(const ReadFile& read, const std::string& path, std::vector<MemoryFacts::Group>& groups) {
    for (const char* root : {"/sys/fs/cgroup", "/sys/fs/cgroup/unified"}) {
        for (const std::string& folder : folders_up(root, path)) {
            uint64_t limit;
            if (!limit_value(read(folder + "/memory.max"), limit)) continue;
            uint64_t charged;
            if (!limit_value(read(folder + "/memory.current"), charged)) continue;
            const uint64_t cache = keyed_count(read(folder + "/memory.stat"), "inactive_file", 1, 0);
            groups.push_back({folder + "/memory.max", limit, less(charged, cache)});
        }
    }
}

// Version 1: the group's own limit, or a lower one above it (its
// hierarchical_memory_limit); the same page cache is dropped first.
void add_v1_group(const ReadFile& read, const std::string& path, std::vector<MemoryFacts::Group>& groups) {
    std::string folder = "/sys/fs/cgroup/memory" + path;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    uint64_t limit, charged;
    if (!limit_value(read(folder + "/memory.limit_in_bytes"), limit)) return;
    if (!limit_value(read(folder + "/memory.usage_in_bytes"), charged)) return;
    const std::string stat = read(folder + "/memory.stat");
    limit = std::min(limit, keyed_count(stat, "hierarchical_memory_limit", 1, NO_LIMIT));
    const uint64_t cache = keyed_count(stat, "total_inactive_file", 1, 0);
    groups.push_back({folder + "/memory.limit_in_bytes", limit, less(charged, cache)});
}

}  // namespace

std::string byte_amount(uint64_t bytes) {
    char text[32];
    if (bytes >= 1000000000)
        snprintf(text, sizeof text, "%.1f GB", bytes / 1e9);
    else if (bytes >= 1000000)
        snprintf(text, sizeof text, "%.0f MB", bytes / 1e6);
    else
        snprintf(text, sizeof text, "%llu bytes", (unsigned long long)bytes);
    return text;
}

MemoryFacts read_memory_facts(const ReadFile& read, const ProcessLimits& limits, uint64_t physical) {
    MemoryFacts facts;
    facts.available = std::min(keyed_count(read("/proc/meminfo"), "MemAvailable:", 1024, physical), physical);
    const std::string cgroups = read("/proc/self/cgroup");
    std::string path;
    if (cgroup_path(cgroups, "", path)) add_v2_groups(read, path, facts.groups);
    if (cgroup_path(cgroups, "memory", path)) add_v1_group(read, path, facts.groups);
    const std::string status = read("/proc/self/status");
    facts.address_space_limit = limits.address_space;
    facts.address_space_used = keyed_count(status, "VmSize:", 1024, 0);
    facts.data_limit = limits.data;
    facts.data_used = keyed_count(status, "VmData:", 1024, 0);
    return facts;
}

uint64_t memory_to_spare(uint64_t available) {
    const uint64_t kept = std::max(available / 8, MIN_FREE_BYTES);
    return less(available, kept);
}

MemoryLimit tightest_limit(const MemoryFacts& facts) {
    MemoryLimit tightest{memory_to_spare(facts.available), "of the machine's available memory"};
    auto consider = [&tightest](uint64_t limit, uint64_t used, std::string name) {
        if (limit == NO_LIMIT) return;
        const uint64_t spare = less(limit, saturating_sum(used, PROCESS_MARGIN));
        if (spare < tightest.spare) tightest = {spare, std::move(name)};
    };
    for (const MemoryFacts::Group& group : facts.groups)
        consider(group.limit, group.used,
                 "under the memory cgroup's limit of " + byte_amount(group.limit) + " (" + group.limit_file + ")");
    consider(facts.address_space_limit, facts.address_space_used,
             "under the process's address-space limit of " + byte_amount(facts.address_space_limit) + " (ulimit -v)");
    consider(facts.data_limit, facts.data_used,
             "under the process's data-segment limit of " + byte_amount(facts.data_limit) + " (ulimit -d)");
    return tightest;
}

namespace {

MemoryFacts this_process_facts() {
    const uint64_t physical = saturating_product(uint64_t(sysconf(_SC_PHYS_PAGES)), uint64_t(sysconf(_SC_PAGESIZE)));
    return read_memory_facts(read_system_file, process_limits(), physical);
}

}  // namespace

MemoryLimit tightest_resident_limit(MemoryFacts facts) {
    facts.address_space_limit = facts.data_limit = NO_LIMIT;
    return tightest_limit(facts);
}

MemoryLimit memory_budget() { return tightest_limit(this_process_facts()); }

MemoryLimit resident_memory_budget() { return tightest_resident_limit(this_process_facts()); }
