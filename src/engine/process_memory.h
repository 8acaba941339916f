// This process's memory limits and what it uses under them, read in one
// place for the window's check and the height image's budget. Bytes.
#pragma once

#include <cstdint>
#include <string>

constexpr uint64_t NO_LIMIT = UINT64_MAX;

// A file's contents; "" when it cannot be read.
std::string read_system_file(const std::string& path);

// The soft RLIMIT_AS and RLIMIT_DATA of this process; NO_LIMIT where none.
struct ProcessLimits {
    uint64_t address_space = NO_LIMIT, data = NO_LIMIT;
};
ProcessLimits process_limits();

// A count in decimal digits at `text`, after blanks, ending at a blank, a
// line end or the text's end; false for anything else ("-1", "12abc", a
// count past 64 bits), which is then no reading at all.
bool strict_count(const char* text, uint64_t& value);

// The count after `key` at the start of a line of `text` ("MemAvailable:" in
// /proc/meminfo, "VmSize:" in /proc/self/status), times `unit` (1024 for
// their kB); `missing` when there is no such line or its count is malformed.
uint64_t keyed_count(const std::string& text, const char* key, uint64_t unit, uint64_t missing);

// Address space the process may still map under its limit (ulimit -v);
// NO_LIMIT when it has no such limit.
uint64_t address_space_left();
