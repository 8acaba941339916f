#include "heightmap/file_bytes.h"

#include <unistd.h>

#include <cerrno>

size_t read_at(int fd, uint64_t offset, uint8_t* into, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, into + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    return done;
}
