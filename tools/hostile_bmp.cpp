#include "hostile_bmp.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>

#include "bmp_writer.h"
#include "other_formats.h"

namespace {

// The length of every lying file: its headers and a little pixel data.
constexpr size_t LIAR_BYTES = 1300;

uint32_t data_offset(const std::vector<uint8_t>& bytes) {
    return bytes[10] | bytes[11] << 8 | bytes[12] << 16 | uint32_t(bytes[13]) << 24;
}

// A small image in `layout`, its header then set to claim width x height.
std::vector<uint8_t> claiming(BmpLayout layout, bool top_down, int width, int height) {
    std::vector<uint8_t> bytes;  // two levels, so that even a 1-bit palette holds them
    encode_bmp(grey_picture(2, 2, {40, 200, 200, 40}), layout, top_down, bytes);
    if (layout == BmpLayout::os2_palette8) {
        bytes[18] = uint8_t(width), bytes[19] = uint8_t(width >> 8);
        bytes[20] = uint8_t(height), bytes[21] = uint8_t(height >> 8);
    } else {
        put32_at(bytes, BMP_WIDTH_AT, uint32_t(width));
        put32_at(bytes, BMP_HEIGHT_AT, uint32_t(top_down ? -height : height));
    }
    return bytes;
}

bool liar(const std::string& path, BmpLayout layout, bool top_down, int width, int height) {
    std::vector<uint8_t> bytes = claiming(layout, top_down, width, height);
    bytes.resize(LIAR_BYTES, 0x55);
    return write_file(path, bytes);
}

Picture gradient(int width, int height) {
    std::vector<uint8_t> levels;
    for (int r = 0; r < height; r++)
        for (int c = 0; c < width; c++) levels.push_back(uint8_t((c + r) * 255 / (width + height)));
    return grey_picture(width, height, levels);
}

bool cut_in_half(const std::string& path) {
    std::vector<uint8_t> bytes;
    encode_bmp(gradient(256, 256), BmpLayout::palette8, false, bytes);
    bytes.resize(bytes.size() / 2);
    return write_file(path, bytes);
}

bool offset_past_end(const std::string& path) {
    std::vector<uint8_t> bytes;
    encode_bmp(gradient(64, 64), BmpLayout::rgb24, false, bytes);
    put32_at(bytes, BMP_OFFSET_AT, uint32_t(bytes.size() + 1));
    return write_file(path, bytes);
}

bool rle8_cut(const std::string& path) {
    std::vector<uint8_t> bytes = claiming(BmpLayout::rle8, false, 2000, 2000);
    bytes.resize(bytes.size() - 2);  // no end of bitmap, and rows to come
    return write_file(path, bytes);
}

// Honest: an end of bitmap at once leaves every pixel at colour 0.
bool rle8_blank(const std::string& path) {
    std::vector<uint8_t> bytes = claiming(BmpLayout::rle8, false, 30000, 30000);
    bytes.resize(data_offset(bytes));
    bytes.push_back(0);
    bytes.push_back(1);
    return write_file(path, bytes);
}

// Honest too: all its pixel bytes are there, as a hole in the file.
bool sparse_23171(const std::string& path) {
    constexpr uint32_t SIDE = 23171, ROW = (SIDE + 3) / 4 * 4;
    std::vector<uint8_t> bytes = claiming(BmpLayout::palette8, false, SIDE, SIDE);
    bytes.resize(data_offset(bytes));
    return write_file(path, bytes) && truncate(path.c_str(), off_t(data_offset(bytes)) + off_t(ROW) * SIDE) == 0;
}

// A run-length image past the first 64 KiB of its data, cut inside its last
// row: each row alternates levels, so it is stored as runs of one pixel.
bool rle8_cut_late(const std::string& path) {
    std::vector<uint8_t> levels;
    for (int r = 0; r < 200; r++)
        for (int c = 0; c < 200; c++) levels.push_back(uint8_t((c + r) % 2 ? 30 : 180));
    std::vector<uint8_t> bytes;
    encode_bmp(grey_picture(200, 200, levels), BmpLayout::rle8, false, bytes);
    bytes.resize(bytes.size() - 5);  // the end of bitmap, the last line end and a run
    return write_file(path, bytes);
}

// A 2^31 - 1 pixels wide image of no rows: the library would count its row's
// bytes in an int.
bool widest_row(const std::string& path) {
    std::vector<uint8_t> bytes = claiming(BmpLayout::palette8, false, 0x7FFFFFFF, 0);
    return write_file(path, bytes);
}

bool other_format(const std::string& path, const std::vector<uint8_t>& bytes, size_t keep = SIZE_MAX) {
    return write_file(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::min(keep, bytes.size())));
}

// 32768 x 32768 pixels of 32 bits claimed in 12 KB of run-length coded data.
bool tga_huge(const std::string& path) {
    std::vector<uint8_t> bytes = encode_tga(gradient(64, 64), false);
    bytes[2] = 10;  // run-length coded colours
    bytes[12] = 0, bytes[13] = 0x80, bytes[14] = 0, bytes[15] = 0x80;
    bytes[16] = 32;
    bytes.resize(12 * 1024, 0x7F);
    return write_file(path, bytes);
}

bool named_pipe(const std::string& path) { return mkfifo(path.c_str(), 0644) == 0; }

// 3160 x 3160 cells of 216 bytes: 2156889600 bytes of mesh, just over 2^31.
bool over_draw_bound(const std::string& path) {
    std::vector<uint8_t> bytes;
    const int side = 3160;
    return encode_bmp(grey_picture(side, side, std::vector<uint8_t>(size_t(side) * side, 176)),
                      BmpLayout::palette8, false, bytes) &&
           write_file(path, bytes);
}

}  // namespace

const std::vector<HostileImage>& hostile_images() {
    static const std::vector<HostileImage> images = {
        {"lying_24bit_9900x1000", "a 24-bit header claiming 9900 x 1000 in 1300 bytes",
         [](const std::string& p) { return liar(p, BmpLayout::rgb24, false, 9900, 1000); }},
        {"lying_8bit_top_down_3200x3200", "an 8-bit top-down header claiming 3200 x 3200 in 1300 bytes",
         [](const std::string& p) { return liar(p, BmpLayout::palette8, true, 3200, 3200); }},
        {"lying_32bit_23170x23170", "a 32-bit V4 header claiming 23170 x 23170 in 1300 bytes",
         [](const std::string& p) { return liar(p, BmpLayout::argb32, false, 23170, 23170); }},
        {"lying_1bit_30000x30000", "a 1-bit header claiming 30000 x 30000 in 1300 bytes",
         [](const std::string& p) { return liar(p, BmpLayout::mono1, false, 30000, 30000); }},
        {"lying_os2_65535x65535", "an OS/2 8-bit header claiming 65535 x 65535 in 1300 bytes",
         [](const std::string& p) { return liar(p, BmpLayout::os2_palette8, false, 65535, 65535); }},
        {"cut_in_half", "a 256 x 256 8-bit image cut after half its bytes", cut_in_half},
        {"offset_past_end", "a 64 x 64 24-bit image whose pixels are said to start past its end", offset_past_end},
        {"rle8_cut_2000x2000", "run-length data for 2000 x 2000 that stops after a few runs", rle8_cut},
        {"rle8_blank_30000x30000", "valid run-length data: 30000 x 30000 of one colour in 1 KB", rle8_blank},
        {"sparse_23171x23171", "a whole 23171 x 23171 8-bit image (537 MB, mostly a hole in the file)",
         sparse_23171},
        {"zero_width_301989887_rows", "an 8-bit header of no columns and 301989887 rows (found by fuzzing)",
         [](const std::string& p) { return liar(p, BmpLayout::palette8, false, 0, 301989887); }},
        {"rle8_cut_late", "a 200 x 200 run-length image of 80 KB cut inside its last row", rle8_cut_late},
        {"widest_row_2147483647x0", "an 8-bit header of 2147483647 columns and no rows", widest_row},
        {"jpeg_claiming_23170x23170", "a 352-byte JPEG whose header claims 23170 x 23170",
         [](const std::string& p) { return other_format(p, jpeg_start(23170, 23170, 352)); }},
        {"tga_claiming_32768x32768", "a 12 KB run-length TGA claiming 32768 x 32768 at 32 bits", tga_huge},
        {"pcx_cut", "a 256 x 256 PCX cut after 3000 bytes",
         [](const std::string& p) { return other_format(p, encode_pcx(gradient(256, 256)), 3000); }},
        {"tga_rgb_cut", "a 64 x 64 24-bit TGA cut after half its bytes",
         [](const std::string& p) { return other_format(p, encode_tga(gradient(64, 64), false), 6162); }},
        {"tga_grey", "a valid 64 x 64 grey TGA",
         [](const std::string& p) { return other_format(p, encode_tga(gradient(64, 64), true)); }},
        {"png_grey", "a valid 64 x 64 grey PNG",
         [](const std::string& p) { return other_format(p, encode_png(gradient(64, 64))); }},
        {"png_16bit", "a valid 64 x 64 PNG of 16-bit grey levels, as elevation models come",
         [](const std::string& p) { return other_format(p, encode_png(gradient(64, 64), 16)); }},
        {"named_pipe", "a named pipe with no writer", named_pipe},
        {"over_draw_bound_3160x3160", "a valid 3160 x 3160 image: 2.16 GB of mesh, over 2^31 bytes",
         over_draw_bound},
    };
    return images;
}

const HostileImage* hostile_image(const std::string& name) {
    for (const HostileImage& image : hostile_images())
        if (name == image.name) return &image;
    return nullptr;
}
