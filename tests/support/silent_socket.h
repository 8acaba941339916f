// A server that takes connections and never answers (a hung sound or X
// server): a Unix socket that listens, and nothing more. Ended with the object.
#pragma once

#include <string>

class SilentSocket {
public:
    explicit SilentSocket(std::string path);  // replaces whatever is at `path`
    ~SilentSocket();
    bool listening() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};
