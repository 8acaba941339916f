#include "engine/console.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

bool line_open = false;

// True when standard output and standard error are one file, pipe or terminal.
bool streams_meet() {
    struct stat out, err;
    if (fstat(STDOUT_FILENO, &out) != 0 || fstat(STDERR_FILENO, &err) != 0) return false;
    return out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

}  // namespace

void console_print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    size_t length = strlen(format);
    if (length > 0) line_open = format[length - 1] != '\n';
}

void console_error(const char* format, ...) {
    fflush(stdout);
    if (line_open && streams_meet()) fputc('\n', stderr);
    line_open = false;
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
}
