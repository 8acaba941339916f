// What a BMP file's headers promise, read before the image library decodes
// anything: the image's size and where and how its pixels are stored. Only
// layouts the library decodes are recognised; the rest is left to the library,
// which turns them down before it allocates anything. Sizes are pixels and bytes.
#pragma once

#include <cstddef>
#include <cstdint>

enum class BmpPixels {
    raw,   // rows of 1 to 32 bits a pixel, each padded to 4 bytes
    rle8,  // run-length coded, 8 bits a pixel
    rle4,  // run-length coded, 4 bits a pixel
};

struct BmpHeader {
    int64_t width;         // pixels
    int64_t height;        // pixels, top-down or bottom-up alike
    int bits_per_pixel;    // 1, 2, 4, 8, 16, 24 or 32
    BmpPixels pixels;
    uint64_t data_offset;  // where the library starts reading pixels, from the file's start
    uint32_t info_size;    // bytes of the header after the file's: 12 (OS/2), 40, 52, 56, 108 or 124
};

// Enough of a file's start to hold any header the library reads.
constexpr size_t BMP_HEADER_BYTES = 14 + 124;

// Reads the headers from the first `size` bytes of a file; false unless they
// describe a layout the library decodes.
bool read_bmp_header(const uint8_t* bytes, size_t size, BmpHeader& header);

// The bytes a file of raw pixels must hold to reach its last pixel; only the
// last row's padding may be missing, as some writers leave it out. 0 for an
// image without pixels.
uint64_t bmp_bytes_needed(const BmpHeader& header);

// The most bytes the library reads of a file whose pixel data, from
// data_offset on, takes `data_bytes`; never less than its headers and colour
// table, which it reads wherever data_offset points.
uint64_t bmp_bytes_read(const BmpHeader& header, uint64_t data_bytes);

// The pixel data of raw pixels: every row with its padding.
uint64_t bmp_raw_data_bytes(const BmpHeader& header);

// The most run-length data an encoder writes for the image: 4 bytes a pixel
// and a row (a skip of one), and the end. Longer data holds codes that do
// nothing.
uint64_t bmp_rle_max_bytes(const BmpHeader& header);

// Whether run-length data reaches its end (an end-of-bitmap code, or a line
// end for every row) before the file ends. `next()` gives the file's bytes
// from data_offset on, and -1 after the last. Reads at most the whole file.
template <typename NextByte>
bool bmp_rle_complete(const BmpHeader& header, NextByte&& next) {
    if (header.width == 0 || header.height == 0) return true;
    for (int64_t row = 0;;) {
        const int count = next(), code = next();
        if (count < 0 || code < 0) return false;
        if (count > 0) continue;  // a run of `count` pixels of one value
        if (code == 1) return true;  // end of bitmap
        if (code == 0) {             // end of line
            if (++row >= header.height) return true;
        } else if (code == 2) {  // skip right and down: two more bytes
            const int right = next(), down = next();
            if (right < 0 || down < 0) return false;
            row += down;
        } else {  // `code` pixels stored as they are, padded to a 16-bit boundary
            int bytes = header.pixels == BmpPixels::rle8 ? code : (code + 1) / 2;
            for (bytes += bytes & 1; bytes > 0; bytes--)
                if (next() < 0) return false;
        }
    }
}
