#include "test_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

TempDir::TempDir() {
    char pattern[] = "/tmp/terrain-test-XXXXXX";
    if (mkdtemp(pattern)) path_ = pattern;
}

TempDir::~TempDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
}

std::string write_bmp(const TempDir& dir, const std::string& name, const Picture& picture, BmpLayout layout,
                      bool top_down) {
    std::vector<uint8_t> bytes;
    std::string path = dir.file(name);
    if (!encode_bmp(picture, layout, top_down, bytes) || !write_file(path, bytes)) return "";
    return path;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string progress_lines(int rows) {
    std::string text;
    for (int i = 0; i < rows; i++)
        text += "Creating hmap: scanline " + std::to_string(i) + "/" + std::to_string(rows) + "\n";
    return text;
}

CapturedStream::CapturedStream(int fd) : fd_(fd) {
    char pattern[] = "/tmp/terrain-capture-XXXXXX";
    int file = mkstemp(pattern);
    if (file < 0) return;
    file_ = pattern;
    fflush(fd == STDOUT_FILENO ? stdout : stderr);
    saved_ = dup(fd);
    dup2(file, fd);
    close(file);
}

CapturedStream::~CapturedStream() { text(); }

std::string CapturedStream::text() {
    if (saved_ < 0) return "";
    fflush(fd_ == STDOUT_FILENO ? stdout : stderr);
    dup2(saved_, fd_);
    close(saved_);
    saved_ = -1;
    std::string content = read_file(file_);
    unlink(file_.c_str());
    return content;
}
