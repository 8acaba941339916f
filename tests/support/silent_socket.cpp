#include "silent_socket.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

SilentSocket::SilentSocket(std::string path, std::vector<SocketAnswer> answers)
    : path_(std::move(path)), answers_(std::move(answers)) {
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path_.size() >= sizeof address.sun_path) return;
    memcpy(address.sun_path, path_.c_str(), path_.size());
    unlink(path_.c_str());
    listen_at(reinterpret_cast<sockaddr*>(&address), sizeof address);
}

SilentSocket::SilentSocket(int tcp_port, std::vector<SocketAnswer> answers) : answers_(std::move(answers)) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(tcp_port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    listen_at(reinterpret_cast<sockaddr*>(&address), sizeof address);
}

void SilentSocket::listen_at(const sockaddr* address, socklen_t size) {
    fd_ = socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Connections wait in the backlog, taken by the kernel: with no answers
    // they are never read.
    if (fd_ >= 0 && (bind(fd_, address, size) != 0 || listen(fd_, 64) != 0)) {
        close(fd_);
        fd_ = -1;
    }
    if (fd_ >= 0 && !answers_.empty()) server_ = std::thread([this] { serve(); });
}

void SilentSocket::serve() {
    std::vector<int> kept;
    for (size_t taken = 0; !stop_;) {
        pollfd ready = {fd_, POLLIN, 0};
        if (poll(&ready, 1, 50) <= 0) continue;
        const int connection = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        const SocketAnswer& answer = answers_[std::min(taken++, answers_.size() - 1)];
        if (!answer.bytes.empty()) (void)!send(connection, answer.bytes.data(), answer.bytes.size(), MSG_NOSIGNAL);
        if (answer.close)
            close(connection);
        else
            kept.push_back(connection);
    }
    for (int connection : kept) close(connection);
}

SilentSocket::~SilentSocket() {
    stop_ = true;
    if (server_.joinable()) server_.join();
    if (fd_ < 0) return;
    close(fd_);
    if (!path_.empty()) unlink(path_.c_str());
}
