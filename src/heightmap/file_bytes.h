// The height image's bytes as the checks read them: at an offset, or one at
// a time from the file or from the copy the decoder is given.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/saturating.h"

// Reads up to `size` bytes of the open file `fd` from `offset` on into
// `into`; the count read, short only at the file's end.
size_t read_at(int fd, uint64_t offset, uint8_t* into, size_t size);

// A file's bytes in order from `offset`, read a block at a time, at most
// `limit` of them; -1 after the last.
class FileBytes {
public:
    FileBytes(int fd, uint64_t offset, uint64_t limit) : fd_(fd), offset_(offset), limit_(limit), block_(1 << 16) {}
    int operator()() {
        if (taken_ == limit_) return -1;
        if (at_ == filled_) {
            filled_ = read_at(fd_, offset_, block_.data(), block_.size());
            if (filled_ == 0) return -1;
            offset_ += filled_;
            at_ = 0;
        }
        taken_++;
        return block_[at_++];
    }

private:
    int fd_;
    uint64_t offset_, limit_;
    std::vector<uint8_t> block_;
    size_t filled_ = 0, at_ = 0;
    uint64_t taken_ = 0;
};

// The same from a copy in memory.
class CopiedBytes {
public:
    CopiedBytes(const std::vector<uint8_t>& bytes, uint64_t offset, uint64_t limit)
        : bytes_(bytes), at_(offset), end_(std::min<uint64_t>(bytes.size(), saturating_sum(offset, limit))) {}
    int operator()() { return at_ < end_ ? bytes_[at_++] : -1; }

private:
    const std::vector<uint8_t>& bytes_;
    uint64_t at_, end_;
};
