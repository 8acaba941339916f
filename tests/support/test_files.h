// Files and captured streams for tests.
#pragma once

#include <string>

#include "bmp_writer.h"

// A fresh folder under /tmp, removed with its contents when the test ends.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes `picture` as a BMP file; the file's path, or "" if it could not.
std::string write_bmp(const TempDir& dir, const std::string& name, const Picture& picture,
                      BmpLayout layout = BmpLayout::palette8, bool top_down = false);

// A file's whole contents; "" if it cannot be read.
std::string read_file(const std::string& path);

// The progress lines a mesh build of `rows` rows prints.
std::string progress_lines(int rows);

// Sends a file descriptor (1 or 2) to a file until text() is called.
class CapturedStream {
public:
    explicit CapturedStream(int fd);
    ~CapturedStream();
    std::string text();  // stops capturing; what was written meanwhile

private:
    int fd_, saved_ = -1;
    std::string file_;
};

// A small fixed pseudo-random sequence, so test images are the same every run.
class Lcg {
public:
    explicit Lcg(unsigned seed) : state_(seed) {}
    unsigned next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }

private:
    unsigned state_;
};
