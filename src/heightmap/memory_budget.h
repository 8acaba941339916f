// What the height image may take out of memory: the least that can be spared
// under each limit that applies to the viewer: the machine's available
// memory, its memory cgroups, its address-space and data-segment limits.
// Sizes are bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/process_memory.h"

// The memory one limit leaves the image, and how a refusal names the limit
// ("and 412 MB can be spared " + name).
struct MemoryLimit {
    uint64_t spare = 0;
    std::string name;
};

// What the limits are read from. A limit that does not apply is NO_LIMIT.
struct MemoryFacts {
    uint64_t available = 0;  // the machine's estimate (MemAvailable), at most its physical memory
    struct Group {
        std::string limit_file;  // where the limit was read, for the message
        uint64_t limit;
        uint64_t used;  // charged to the group, less page cache it can drop first
    };
    std::vector<Group> groups;  // the process's memory cgroup and those above it that have a limit
    uint64_t address_space_limit = NO_LIMIT, address_space_used = 0;  // RLIMIT_AS; VmSize
    uint64_t data_limit = NO_LIMIT, data_used = 0;                    // RLIMIT_DATA; VmData
};

// A file's contents; "" when it cannot be read (read_system_file, say).
using ReadFile = std::function<std::string(const std::string& path)>;

// Reads the facts from /proc/meminfo, /proc/self/status, /proc/self/cgroup and
// the cgroup files under /sys/fs/cgroup, through `read`; `physical` caps the
// available memory.
MemoryFacts read_memory_facts(const ReadFile& read, const ProcessLimits& limits, uint64_t physical);

// What the image may take out of the machine's `available` bytes: an eighth
// of them, and at least 512 MiB, stay free for the rest of the machine.
uint64_t memory_to_spare(uint64_t available);

// The limit that leaves the least. Under a cgroup or process limit, 192 MiB
// stay free for what the viewer allocates after its check (drawing, the
// decoder's row buffers).
MemoryLimit tightest_limit(const MemoryFacts& facts);

// The same over the limits on memory in use only, the machine's and its
// cgroups': they count a reserved block as it is filled, while address-space
// and data-segment limits count it whole once it is reserved.
MemoryLimit tightest_resident_limit(MemoryFacts facts);

// The limit that bites for this process now.
MemoryLimit memory_budget();
// The limit on memory in use that bites for this process now.
MemoryLimit resident_memory_budget();

// A byte count for people: "31.7 GB", "412 MB", "1082 bytes".
std::string byte_amount(uint64_t bytes);

// Where the height image's size checks get their limit; called afresh at
// each check, since decoding uses memory and limits may move.
using MemoryBudget = std::function<MemoryLimit()>;
