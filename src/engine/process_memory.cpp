#include "engine/process_memory.h"

#include <sys/resource.h>

#include <cctype>
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

bool strict_count(const char* text, uint64_t& value) {
    text += strspn(text, " \t");
    if (!isdigit(static_cast<unsigned char>(*text))) return false;
    uint64_t count = 0;
    for (; isdigit(static_cast<unsigned char>(*text)); text++)
        if (__builtin_mul_overflow(count, 10, &count) || __builtin_add_overflow(count, uint64_t(*text - '0'), &count))
            return false;
    if (*text != '\0' && !isspace(static_cast<unsigned char>(*text))) return false;
    value = count;
    return true;
}

uint64_t keyed_count(const std::string& text, const char* key, uint64_t unit, uint64_t missing) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        if (at > 0 && text[at - 1] != '\n') continue;  // a key only at a line's start
        uint64_t value;
        return strict_count(text.c_str() + at + strlen(key), value) ? saturating_product(value, unit) : missing;
    }
    return missing;
}

uint64_t address_space_left() {
    const uint64_t limit = process_limits().address_space;
    if (limit == NO_LIMIT) return NO_LIMIT;
    const uint64_t used = keyed_count(read_system_file("/proc/self/status"), "VmSize:", 1024, 0);
    return limit > used ? limit - used : 0;
}
