#include "heightmap/bmp_header.h"

#include <algorithm>
#include <iterator>

#include "engine/saturating.h"
#include "heightmap/byte_order.h"

namespace {

// Header sizes the library reads: OS/2 1.x, then Windows 3.x and its V2 to V5.
constexpr uint32_t OS2_HEADER = 12;
constexpr uint32_t WINDOWS_HEADERS[] = {40, 52, 56, 108, 124};
constexpr size_t FILE_HEADER = 14;

// Compression codes of the Windows headers.
constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3;

bool known_depth(uint32_t bits) {
    return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// How the pixels of a Windows header are stored; false for combinations the
// library turns down (run-length coding only at 8 and 4 bits, masks only
// above 8).
bool pixels_of(uint32_t compression, uint32_t bits, BmpPixels& pixels) {
    if (compression == BI_RGB || (compression == BI_BITFIELDS && bits > 8))
        pixels = BmpPixels::raw;
    else if (compression == BI_RLE8 && bits == 8)
        pixels = BmpPixels::rle8;
    else if (compression == BI_RLE4 && bits == 4)
        pixels = BmpPixels::rle4;
    else
        return false;
    return true;
}

}  // namespace

bool read_bmp_header(const uint8_t* bytes, size_t size, BmpHeader& header) {
    if (size < FILE_HEADER + 4 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    const uint64_t stated_offset = le32(bytes + 10);
    const uint32_t info_size = le32(bytes + 14);
    const uint8_t* info = bytes + FILE_HEADER;
    // Where the headers, masks and colour table end: pixels cannot start
    // before that unless the library seeks back for them.
    uint64_t headers_end;
    uint32_t bits;
    if (info_size == OS2_HEADER) {
        if (size < FILE_HEADER + OS2_HEADER) return false;
        header.width = le16(info + 4);
        header.height = le16(info + 6);
        bits = le16(info + 10);
        header.pixels = BmpPixels::raw;
        headers_end = FILE_HEADER + OS2_HEADER;
    } else if (std::count(std::begin(WINDOWS_HEADERS), std::end(WINDOWS_HEADERS), info_size)) {
        if (size < FILE_HEADER + 40) return false;
        const int32_t width = int32_t(le32(info + 4)), height = int32_t(le32(info + 8));
        if (width < 0) return false;  // the library turns it down
        header.width = width;
        header.height = height < 0 ? -int64_t(height) : height;  // negative: rows top-down
        bits = le16(info + 14);
        const uint32_t compression = le32(info + 16);
        if (!pixels_of(compression, bits, header.pixels)) return false;
        // Three masks follow a plain 40-byte header; later versions hold them.
        const uint64_t masks = info_size == 40 && compression == BI_BITFIELDS ? 12 : 0;
        const uint64_t colours = le32(info + 32);
        headers_end = FILE_HEADER + info_size + masks + 4 * colours;
    } else {
        return false;
    }
    if (!known_depth(bits)) return false;
    header.bits_per_pixel = int(bits);
    header.info_size = info_size;
    // With a colour table the library seeks to the stated offset wherever it
    // points; without one it only skips ahead to it.
    header.data_offset = bits <= 8 ? stated_offset : std::max(stated_offset, headers_end);
    return true;
}

namespace {

// The library reads up to 256 colours of 4 bytes after the largest header
// and its three masks.
constexpr uint64_t BMP_METADATA_BYTES = FILE_HEADER + 124 + 12 + 256 * 4;

uint64_t padded_row_bytes(const BmpHeader& header) {
    const uint64_t row_bits = saturating_product(uint64_t(header.width), uint64_t(header.bits_per_pixel));
    return (row_bits + 31) / 32 * 4;
}

}  // namespace

uint64_t bmp_bytes_read(const BmpHeader& header, uint64_t data_bytes) {
    return std::max(BMP_METADATA_BYTES, saturating_sum(header.data_offset, data_bytes));
}

uint64_t bmp_raw_data_bytes(const BmpHeader& header) {
    return saturating_product(padded_row_bytes(header), uint64_t(header.height));
}

uint64_t bmp_rle_max_bytes(const BmpHeader& header) {
    const uint64_t cells = saturating_product(uint64_t(header.width), uint64_t(header.height));
    return saturating_sum(saturating_product(saturating_sum(cells, uint64_t(header.height)), 4), 2);
}

uint64_t bmp_bytes_needed(const BmpHeader& header) {
    if (header.width == 0 || header.height == 0) return 0;
    const uint64_t row_bits = saturating_product(uint64_t(header.width), uint64_t(header.bits_per_pixel));
    const uint64_t padded_row = padded_row_bytes(header);
    const uint64_t last_row = (row_bits + 7) / 8;
    const uint64_t rows_before_last = saturating_product(padded_row, uint64_t(header.height) - 1);
    return saturating_sum(header.data_offset, saturating_sum(rows_before_last, last_row));
}
