// Byte and pixel counts of untrusted sizes: they stop at the largest 64-bit
// value instead of wrapping round to a small, harmless-looking number.
#pragma once

#include <cstdint>

inline uint64_t saturating_product(uint64_t a, uint64_t b) {
    uint64_t product;
    return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

inline uint64_t saturating_sum(uint64_t a, uint64_t b) {
    uint64_t sum;
    return __builtin_add_overflow(a, b, &sum) ? UINT64_MAX : sum;
}
