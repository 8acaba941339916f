// The memory budget: the least that can be spared under every limit that
// applies, read from files and limits given to it, and from this process.
#include "heightmap/memory_budget.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <map>

namespace {

constexpr uint64_t MiB = uint64_t(1) << 20, GiB = uint64_t(1) << 30;

// What stays free under a process or cgroup limit, found from one limit:
// every other limit must keep the same.
uint64_t margin_kept() {
    MemoryFacts facts;
    facts.available = 64 * GiB;
    facts.address_space_limit = 8 * GiB, facts.address_space_used = GiB;
    return 7 * GiB - tightest_limit(facts).spare;
}
const uint64_t MARGIN = margin_kept();

}  // namespace

TEST(MemoryBudget, TheTightestLimitBitesAndIsNamed) {
    // The viewer allocates up to 127 MB after its check (the decoder's row
    // buffers, the renderer's working memory for a frame down the rows of a
    // large terrain); what a limit keeps free must cover that, yet stay well
    // under what the machine itself keeps free.
    EXPECT_GE(MARGIN, 127 * MiB);
    EXPECT_LE(MARGIN, 256 * MiB);

    // An eighth of the machine's available memory stays free, never less than 512 MiB.
    const struct {
        uint64_t available, spare;
    } machine[] = {{0, 0}, {GiB / 2, 0}, {GiB, GiB / 2}, {4 * GiB, 3 * GiB + GiB / 2}, {16 * GiB, 14 * GiB}};
    for (const auto& m : machine) EXPECT_EQ(memory_to_spare(m.available), m.spare) << m.available;

    MemoryFacts facts;
    facts.available = 16 * GiB;  // 14 GiB to spare
    MemoryLimit limit = tightest_limit(facts);
    EXPECT_EQ(limit.spare, 14 * GiB);
    EXPECT_EQ(limit.name, "of the machine's available memory");

    const struct {
        const char* name;
        void (*set)(MemoryFacts&);
        uint64_t spare;
        const char* named;
    } cases[] = {
        {"address space", [](MemoryFacts& f) { f.address_space_limit = 2 * GiB, f.address_space_used = GiB; },
         GiB - MARGIN, "under the process's address-space limit of 2.1 GB (ulimit -v)"},
        {"data", [](MemoryFacts& f) { f.data_limit = 500000000, f.data_used = 100 * MiB; },
         500000000 - 100 * MiB - MARGIN, "under the process's data-segment limit of 500 MB (ulimit -d)"},
        {"cgroup", [](MemoryFacts& f) { f.groups = {{"/g/memory.max", 2 * GiB, GiB / 2}}; },
         2 * GiB - GiB / 2 - MARGIN, "under the memory cgroup's limit of 2.1 GB (/g/memory.max)"},
        {"the lower of two groups",
         [](MemoryFacts& f) { f.groups = {{"/a/b/memory.max", 8 * GiB, GiB}, {"/a/memory.max", 4 * GiB, 3 * GiB}}; },
         GiB - MARGIN, "(/a/memory.max)"},
        {"used past its limit", [](MemoryFacts& f) { f.data_limit = GiB, f.data_used = GiB + 1; }, 0, "ulimit -d"},
        {"a limit looser than the machine", [](MemoryFacts& f) { f.address_space_limit = 64 * GiB; }, 14 * GiB,
         "of the machine's available memory"},
    };
    for (const auto& c : cases) {
        MemoryFacts limited = facts;
        c.set(limited);
        limit = tightest_limit(limited);
        EXPECT_EQ(limit.spare, c.spare) << c.name;
        EXPECT_NE(limit.name.find(c.named), std::string::npos) << c.name << ": " << limit.name;
    }
    // A reserved mesh counts whole against address space and data at once,
    // against memory in use only as it fills: only the latter are asked then.
    MemoryFacts reserved = facts;
    reserved.address_space_limit = reserved.data_limit = GiB;
    reserved.groups = {{"/g/memory.max", 2 * GiB, GiB / 2}};
    limit = tightest_resident_limit(reserved);
    EXPECT_EQ(limit.spare, 2 * GiB - GiB / 2 - MARGIN);
    EXPECT_EQ(limit.name, "under the memory cgroup's limit of 2.1 GB (/g/memory.max)");
}

TEST(MemoryBudget, ReadsEachSourceFromItsFiles) {
    const std::string meminfo = "MemTotal:       24000000 kB\nMemFree:  100 kB\nMemAvailable:   20000000 kB\n";
    const std::string status = "Name:\tterrain-viewer\nVmPeak:\t  950000 kB\nVmSize:\t  900000 kB\nVmData:\t  70000 kB\n";
    const struct {
        const char* name;
        std::map<std::string, std::string> files;
        std::vector<MemoryFacts::Group> groups;
    } cases[] = {
        {"cgroup v2: each level with a limit, less its unused page cache",
         {{"/proc/self/cgroup", "0::/user.slice/run.scope\n"},
          {"/sys/fs/cgroup/user.slice/run.scope/memory.max", "2147483648\n"},
          {"/sys/fs/cgroup/user.slice/run.scope/memory.current", "600000000\n"},
          {"/sys/fs/cgroup/user.slice/run.scope/memory.stat", "anon 300000000\nfile 250000000\nactive_file 150000000\n"
                                                             "inactive_file 100000000\n"},
          {"/sys/fs/cgroup/user.slice/memory.max", "max\n"},
          {"/sys/fs/cgroup/user.slice/memory.current", "9000000000\n"},
          {"/sys/fs/cgroup/memory.max", "8000000000\n"},
          {"/sys/fs/cgroup/memory.current", "7000000000\n"}},
         {{"/sys/fs/cgroup/user.slice/run.scope/memory.max", 2147483648, 500000000},
          {"/sys/fs/cgroup/memory.max", 8000000000, 7000000000}}},
        {"cgroup v1: the lower of its own and the hierarchy's limit",
         {{"/proc/self/cgroup", "5:cpu,cpuacct:/x\n4:memory:/jobs/42\n0::/\n"},
          {"/sys/fs/cgroup/memory/jobs/42/memory.limit_in_bytes", "9223372036854771712\n"},
          {"/sys/fs/cgroup/memory/jobs/42/memory.usage_in_bytes", "800000000\n"},
          {"/sys/fs/cgroup/memory/jobs/42/memory.stat", "inactive_file 5\nhierarchical_memory_limit 3000000000\n"
                                                       "total_inactive_file 200000000\n"}},
         {{"/sys/fs/cgroup/memory/jobs/42/memory.limit_in_bytes", 3000000000, 600000000}}},
        {"hybrid: version 2 beside version 1, under unified/",
         {{"/proc/self/cgroup", "7:cpu:/\n4:memory:/\n0::/user.slice/run.scope\n"},
          {"/sys/fs/cgroup/unified/user.slice/run.scope/memory.max", "1000000000\n"},
          {"/sys/fs/cgroup/unified/user.slice/run.scope/memory.current", "300000000\n"}},
         {{"/sys/fs/cgroup/unified/user.slice/run.scope/memory.max", 1000000000, 300000000}}},
        {"no cgroup files", {{"/proc/self/cgroup", "0::/\n"}}, {}},
        {"a group path not from the root", {{"/proc/self/cgroup", "0::odd\n4:memory:odd\n"}}, {}},
        {"malformed numbers: no reading, not 12, not the largest count",
         {{"/proc/self/cgroup", "0::/a\n4:memory:/b\n"},
          {"/sys/fs/cgroup/a/memory.max", "12abc\n"},
          {"/sys/fs/cgroup/a/memory.current", "1\n"},
          {"/sys/fs/cgroup/memory.max", "-1\n"},
          {"/sys/fs/cgroup/memory.current", "1\n"},
          {"/sys/fs/cgroup/unified/memory.max", "99999999999999999999\n"},
          {"/sys/fs/cgroup/unified/memory.current", "1\n"},
          {"/sys/fs/cgroup/memory/b/memory.limit_in_bytes", "3000000000\n"},
          {"/sys/fs/cgroup/memory/b/memory.usage_in_bytes", "-1\n"}},
         {}},
    };
    for (const auto& c : cases) {
        std::map<std::string, std::string> files = c.files;
        files["/proc/meminfo"] = meminfo;
        files["/proc/self/status"] = status;
        const ReadFile read = [&files](const std::string& path) { return files.count(path) ? files[path] : ""; };
        const MemoryFacts facts = read_memory_facts(read, {3 * GiB, 2 * GiB}, 16 * GiB);
        EXPECT_EQ(facts.available, 16 * GiB) << "capped at physical memory";
        EXPECT_EQ(facts.address_space_limit, 3 * GiB);
        EXPECT_EQ(facts.address_space_used, 900000 * uint64_t(1024));
        EXPECT_EQ(facts.data_limit, 2 * GiB);
        EXPECT_EQ(facts.data_used, 70000 * uint64_t(1024));
        ASSERT_EQ(facts.groups.size(), c.groups.size()) << c.name;
        for (size_t i = 0; i < c.groups.size(); i++) {
            EXPECT_EQ(facts.groups[i].limit_file, c.groups[i].limit_file) << c.name;
            EXPECT_EQ(facts.groups[i].limit, c.groups[i].limit) << c.name;
            EXPECT_EQ(facts.groups[i].used, c.groups[i].used) << c.name;
        }
    }
    // Kibibytes: 20000000 kB is 20.48 GB, below a physical memory that does not cap it.
    const ReadFile meminfo_only = [&meminfo](const std::string& path) {
        return path == "/proc/meminfo" ? meminfo : std::string();
    };
    EXPECT_EQ(read_memory_facts(meminfo_only, {}, 64 * GiB).available, 20000000 * uint64_t(1024));
    const ReadFile nothing = [](const std::string&) { return std::string(); };
    EXPECT_EQ(read_memory_facts(nothing, {}, 8 * GiB).available, 8 * GiB) << "physical memory without meminfo";
    const ReadFile malformed = [](const std::string& path) {
        return std::string(path == "/proc/meminfo" ? "MemAvailable: 12abc kB\n"
                           : path == "/proc/self/status" ? "VmSize:\t-1 kB\nVmData:\t+5 kB\n" : "");
    };
    const MemoryFacts unread = read_memory_facts(malformed, {}, 8 * GiB);
    EXPECT_EQ(unread.available, 8 * GiB);
    EXPECT_EQ(unread.address_space_used, 0u);
    EXPECT_EQ(unread.data_used, 0u);
}

TEST(MemoryBudget, ThisProcessesAddressSpaceLimitIsSeen) {
    const MemoryFacts now = read_memory_facts(read_system_file, process_limits(), 1ull << 62);
    EXPECT_GT(now.available, 0u);
    ASSERT_GT(now.address_space_used, 0u);
    EXPECT_GT(now.data_used, 0u);
    // A soft limit 1 GiB above what is used now, put back afterwards.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    struct rlimit tight = saved;
    tight.rlim_cur = now.address_space_used + GiB;
    if (saved.rlim_max != RLIM_INFINITY && tight.rlim_cur > saved.rlim_max) GTEST_SKIP() << "hard limit too low";
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    const MemoryLimit limit = memory_budget();
    ASSERT_EQ(setrlimit(RLIMIT_AS, &saved), 0);
    if (memory_to_spare(now.available) < GiB) GTEST_SKIP() << "the machine's memory bites first";
    EXPECT_NE(limit.name.find("address-space limit"), std::string::npos) << limit.name;
    EXPECT_NEAR(double(limit.spare), double(GiB - MARGIN), 16.0 * MiB);
}
