#include "engine/console.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

// Writes all of `data` to `fd` as a blocking write would: when the
// descriptor is non-blocking (a parent's choice, shared with it) and full,
// waits until the reader makes room. Only a real failure (a closed pipe, a
// full disk) stops it short, with errno telling why.
ssize_t write_all(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n >= 0) {
            done += size_t(n);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            pollfd room = {fd, POLLOUT, 0};
            poll(&room, 1, -1);
        } else if (errno != EINTR) {
            return done > 0 ? ssize_t(done) : -1;
        }
    }
    return ssize_t(done);
}

// An unfinished line of standard output, held back until its line end comes,
// so that the output never ends mid-line when the process is ended at once
// (guard.h). Guarded by standard output's lock, as the stream's writes are.
char held[PIPE_BUF];
size_t held_size = 0;

// Writes the held bytes up to their last line end (all of them when `all`, or
// when one line fills them) in one write, and keeps the rest. A pipe takes a
// write of PIPE_BUF bytes or fewer whole or not at all. False when the write
// failed.
bool write_held(bool all) {
    const char* end = static_cast<const char*>(memrchr(held, '\n', held_size));
    size_t out = end ? size_t(end - held) + 1 : 0;
    if (all || (!end && held_size == sizeof held)) out = held_size;
    if (out == 0) return true;
    const bool written = write_all(STDOUT_FILENO, held, out) == ssize_t(out);
    memmove(held, held + out, held_size - out);
    held_size -= out;
    return written;
}

// Standard output's own writes: whole lines out, the unfinished one held.
ssize_t write_waiting(void*, const char* data, size_t size) {
    for (size_t done = 0; done < size;) {
        const size_t take = std::min(size - done, sizeof held - held_size);
        memcpy(held + held_size, data + done, take);
        held_size += take;
        done += take;
        if (!write_held(false)) return -1;
    }
    return ssize_t(size);
}

// Flushes standard output, the line it holds back included (the caller holds
// the stream's lock); false when a write failed.
bool flush_all_unlocked() { return fflush_unlocked(stdout) == 0 && write_held(true); }

// The same, taking the lock.
bool flush_all() {
    flockfile(stdout);
    const bool flushed = flush_all_unlocked();
    funlockfile(stdout);
    return flushed;
}

// Takes standard output's lock if it comes free within a moment (a print
// under way); false if another thread keeps it (one stuck writing).
bool lock_stdout_soon() {
    for (int tries = 0; tries < 200; tries++) {
        if (ftrylockfile(stdout) == 0) return true;
        usleep(1000);
    }
    return false;
}

// Standard output with write_waiting underneath, buffered as standard output
// was set up (by stdbuf, say): by lines on a terminal or under -oL,
// unbuffered under -o0, else in blocks of the output's own size.
FILE* waiting_stdout() {
    FILE* out = fopencookie(nullptr, "w", cookie_io_functions_t{nullptr, write_waiting, nullptr, nullptr});
    if (!out) return stdout;
    struct stat info;
    size_t size = __fbufsize(stdout);
    int mode = _IOFBF;
    if (__flbf(stdout) || isatty(STDOUT_FILENO))
        mode = _IOLBF;
    else if (size == 1)
        mode = _IONBF;
    if (size <= 1) size = fstat(STDOUT_FILENO, &info) == 0 && info.st_blksize > 0 ? size_t(info.st_blksize) : BUFSIZ;
    setvbuf(out, nullptr, mode, size);
    return out;
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
    // Nothing has been written yet, so nothing is left behind in the old one.
    stdout = waiting_stdout();
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
    if (!flush_all()) note_output_failure();
    if (line_open && streams_meet()) fputc('\n', stderr);
    line_open = false;
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
    fputc('\n', stderr);
}

int console_exit_status(int status) {
    if (!flush_all()) note_output_failure();
    if (!ferror(stdout) && !lost_output_error) return status;
    int unknown = 0;
    lost_output_error.compare_exchange_strong(unknown, EIO);
    console_error("terrain-viewer: output to standard output was lost: %s", strerror(lost_output_error));
    return status == 0 ? 1 : status;
}

int console_final_line(int status, const char* format, ...) {
    // No allocation and no lock held by others: this may run after memory
    // ran out, or while another thread waits inside a print.
    bool lost = false;
    if (lock_stdout_soon()) {
        if (!flush_all_unlocked()) note_output_failure();
        lost = ferror_unlocked(stdout) || lost_output_error;
        funlockfile(stdout);
    }
    char text[1024];
    size_t length = 0;
    if (line_open && streams_meet()) text[length++] = '\n';
    va_list args;
    va_start(args, format);
    const int formatted = vsnprintf(text + length, sizeof text - length - 1, format, args);
    va_end(args);
    length = formatted < 0 ? length : std::min(length + size_t(formatted), sizeof text - 2);
    text[length++] = '\n';
    if (lost) {
        int unknown = 0;
        lost_output_error.compare_exchange_strong(unknown, EIO);
        const int more = snprintf(text + length, sizeof text - length,
                                  "terrain-viewer: output to standard output was lost: %s\n",
                                  strerror(lost_output_error));
        length = more < 0 ? length : std::min(length + size_t(more), sizeof text - 1);
    }
    write_all(STDERR_FILENO, text, length);
    return lost && status == 0 ? 1 : status;
}
