// Numbers as image headers store them, a byte at a time, so no alignment or
// host byte order is assumed.
#pragma once

#include <cstddef>
#include <cstdint>

// A `size`-byte unsigned number (1 to 4) at `bytes`, most significant byte
// first when `big_endian`, least first otherwise.
inline uint32_t stored_number(const uint8_t* bytes, size_t size, bool big_endian) {
    uint32_t value = 0;
    for (size_t i = 0; i < size; i++) value |= uint32_t(bytes[big_endian ? i : size - 1 - i]) << (8 * (size - 1 - i));
    return value;
}

inline uint32_t le16(const uint8_t* p) { return stored_number(p, 2, false); }
inline uint32_t le32(const uint8_t* p) { return stored_number(p, 4, false); }
