// A server that takes connections and answers each with fixed bytes or not
// at all: a hung sound or X server, one that speaks another protocol, one
// that hangs up. A Unix socket, or a TCP port on 127.0.0.1. Ended with the
// object.
#pragma once

#include <sys/socket.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// What a connection is sent as soon as it is taken: `bytes`, then silence
// (the connection kept open), or the connection closed after them.
struct SocketAnswer {
    std::string bytes;
    bool close = false;
};

class SilentSocket {
public:
    // At the Unix socket `path` (replacing whatever is there), or at
    // 127.0.0.1:`tcp_port` (not listening when the port is taken). The i-th
    // connection gets answers[i], the last one all later connections; with
    // none, connections wait unread in the backlog.
    explicit SilentSocket(std::string path, std::vector<SocketAnswer> answers = {});
    explicit SilentSocket(int tcp_port, std::vector<SocketAnswer> answers = {});
    ~SilentSocket();
    SilentSocket(const SilentSocket&) = delete;
    SilentSocket& operator=(const SilentSocket&) = delete;
    bool listening() const { return fd_ >= 0; }

private:
    void listen_at(const sockaddr* address, socklen_t size);
    void serve();
    std::string path_;
    int fd_ = -1;
    std::vector<SocketAnswer> answers_;
    std::atomic<bool> stop_{false};
    std::thread server_;
};
