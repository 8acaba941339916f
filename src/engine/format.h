// printf-style text of any length, for messages that carry the user's paths.
#pragma once

#include <cstdarg>
#include <string>

// The formatted text, whole however long. Allocates: not for a path that
// runs when memory has run out (fatal_exit keeps a buffer of its own).
std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format_args(const char* pattern, va_list args) __attribute__((format(printf, 1, 0)));
