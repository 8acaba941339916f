#include "silent_socket.h"

#include <poll.h>
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
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ >= 0 && (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
                           listen(listener_, 16) != 0)) {
        close(listener_);
        listener_ = -1;
    }
    if (listener_ >= 0) thread_ = std::thread(&SilentSocket::accept_and_hold, this);
}

SilentSocket::~SilentSocket() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (int fd : held_) close(fd);
    if (listener_ >= 0) {
        close(listener_);
        unlink(path_.c_str());
    }
}

void SilentSocket::accept_and_hold() {
    pollfd p = {listener_, POLLIN, 0};
    while (!stop_)
        if (poll(&p, 1, 50) > 0) {
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) held_.push_back(fd);  // read nothing, write nothing
        }
}
