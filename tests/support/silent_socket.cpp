#include "silent_socket.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

SilentSocket::SilentSocket(std::string path) : path_(std::move(path)) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path) return;
    memcpy(address.sun_path, path_.c_str(), path_.size());
    unlink(path_.c_str());
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Connections wait in the backlog, taken by the kernel but never read.
    if (fd_ >= 0 && (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd_, 64) != 0)) {
        close(fd_);
        fd_ = -1;
    }
}

SilentSocket::~SilentSocket() {
    if (fd_ < 0) return;
    close(fd_);
    unlink(path_.c_str());
}
