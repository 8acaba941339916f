// A server that accepts connections and never answers: a sound server or an
// X server that hangs.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

class SilentSocket {
public:
    // Listens on a Unix socket at `path` (replaced if there); ended with the object.
    explicit SilentSocket(std::string path);
    ~SilentSocket();
    SilentSocket(const SilentSocket&) = delete;
    SilentSocket& operator=(const SilentSocket&) = delete;
    bool listening() const { return listener_ >= 0; }
    const std::string& path() const { return path_; }

private:
    void accept_and_hold();
    std::string path_;
    int listener_ = -1;
    std::atomic<bool> stop_{false};
    std::vector<int> held_;
    std::thread thread_;
};
