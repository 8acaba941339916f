#include "engine/format.h"

#include <cstdio>

std::string format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    std::string text = format_args(pattern, args);
    va_end(args);
    return text;
}

std::string format_args(const char* pattern, va_list args) {
    // Measured first, then written into a string of that length.
    va_list again;
    va_copy(again, args);
    const int length = vsnprintf(nullptr, 0, pattern, args);
    std::string text(length > 0 ? size_t(length) : 0, '\0');
    if (length > 0) vsnprintf(&text[0], text.size() + 1, pattern, again);
    va_end(again);
    return text;
}
