#include "engine/console.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Atomic: a failure on another thread may end the process (fatal_exit)
// while the main thread prints.
std::atomic<bool> line_open{false};
std::atomic<int> lost_output_error{0};  // errno of the first failed write to standard output

void note_output_failure() {
    int none = 0;
    lost_output_error.compare_exchange_strong(none, errno ? errno : EIO);
}

// True when standard output and standard error are one file, pipe or terminal.
bool streams_meet() {
    struct stat out, err;
    if (fstat(STDOUT_FILENO, &out) != 0 || fstat(STDERR_FILENO, &err) != 0) return false;
    return out.st_dev == err.st_dev && out.st_ino == err.st_ino;
}

}  // namespace

void console_open_standard_streams() {
    // Lowest numbers first: open() takes the lowest free one, which is then
    // the closed descriptor itself.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

void console_print(const char* format, ...) {
    // Once a write has failed (a closed pipe, a full disk, a file-size
    // limit), the rest would be lost too: the run goes on without it.
    if (lost_output_error) return;
    va_list args;
    va_start(args, format);
    if (vprintf(format, args) < 0) note_output_failure();
    va_end(args);
    size_t length = strlen(format);
    if (length > 0) line_open = format[length - 1] != '\n';
}

void console_error(const char* format, ...) {
    if (fflush(stdout) != 0) note_output_failure();
    if (line_open && streams_meet()) fputc('\n', stderr);
    line_open = false;
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
}

int console_exit_status(int status) {
    if (fflush(stdout) != 0) note_output_failure();
    if (!ferror(stdout)) return status;
    int unknown = 0;
    lost_output_error.compare_exchange_strong(unknown, EIO);
    console_error("terrain-viewer: output to standard output was lost: %s", strerror(lost_output_error));
    return status == 0 ? 1 : status;
}
