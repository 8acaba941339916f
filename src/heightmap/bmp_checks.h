// The checks a BMP height image passes before the library decodes it: its
// header against the file's length, its size against the memory here, and
// run-length data against the image it promises. Run on the file, then again
// on the copy the decoder reads.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "engine/format.h"
#include "engine/saturating.h"
#include "heightmap/bmp_header.h"
#include "heightmap/memory_budget.h"
#include "heightmap/size_policy.h"

// Why the BMP image `header` describes cannot be shown when the file holds
// `file_size` bytes, `next` gives its pixel data and `limit` spares what it
// does; "" when it can, with `reach` set to the bytes of the file the
// decoder reads. Cheap checks first: the length of raw pixels, then the size
// (refused for the memory, the side of the square it fits goes to
// `fits_side` when given), then the run-length data.
template <typename NextByte>
std::string bmp_problem(const BmpHeader& header, uint64_t file_size, const char* name, const MemoryLimit& limit,
                        NextByte&& next, uint64_t& reach, int64_t* fits_side = nullptr) {
    if (header.pixels == BmpPixels::raw) {
        const uint64_t needed = bmp_bytes_needed(header);
        if (file_size < needed)
            return format("%s holds %llu bytes, but its header promises a %lld x %lld %d-bit image, which needs "
                          "%llu bytes: the file is cut short or corrupt",
                          name, (unsigned long long)file_size, (long long)header.width, (long long)header.height,
                          header.bits_per_pixel, (unsigned long long)needed);
    }
    std::string too_large = heightmap_size_problem(name, header.width, header.height, limit, fits_side);
    if (!too_large.empty()) return too_large;
    if (header.pixels == BmpPixels::raw) {
        reach = bmp_bytes_read(header, bmp_raw_data_bytes(header));
    } else {
        const uint64_t longest = bmp_rle_max_bytes(header);
        uint64_t taken = 0;
        auto counted = [&] {
            const int byte = next();
            if (byte >= 0) taken++;
            return byte;
        };
        if (!bmp_rle_complete(header, counted)) {
            if (taken == longest && saturating_sum(header.data_offset, taken) < file_size)
                return format("%s's compressed pixels run on past %llu bytes, more than a %lld x %lld image needs: "
                              "the file is corrupt",
                              name, (unsigned long long)longest, (long long)header.width, (long long)header.height);
            return format("%s ends inside its compressed pixels (%llu bytes), before the %lld x %lld image its "
                          "header promises: the file is cut short or corrupt",
                          name, (unsigned long long)file_size, (long long)header.width, (long long)header.height);
        }
        reach = bmp_bytes_read(header, taken);
    }
    reach = std::min(reach, file_size);
    // The copy and the decoder's own buffers, before the mesh is built.
    const uint64_t pixels = saturating_product(uint64_t(header.width), uint64_t(header.height));
    const uint64_t decoding = saturating_sum(reach, saturating_product(pixels, DECODING_BYTES_PER_PIXEL));
    if (decoding > limit.spare)
        return format("%s is %lld x %lld pixels in %llu bytes of the file: reading and decoding them needs %s, "
                      "and %s can be spared %s",
                      name, (long long)header.width, (long long)header.height, (unsigned long long)reach,
                      byte_amount(decoding).c_str(), byte_amount(limit.spare).c_str(), limit.name.c_str());
    return "";
}
