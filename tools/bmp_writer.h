// Writes BMP files in the layouts the height image may come in, so the sample
// image and the test images are made by the project itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class BmpLayout {
    mono1,      // 1 bit, 2-colour palette
    palette4,   // 4 bits, 16-colour palette
    palette8,   // 8 bits, 256-colour palette
    rgb555,     // 16 bits, 5 bits a channel
    rgb565,     // 16 bits with colour masks, 5-6-5
    rgb24,      // 24 bits
    argb32,     // 32 bits with colour masks and an alpha channel
    rle8,       // 8 bits, 256-colour palette, run-length coded
    rle4,       // 4 bits, 16-colour palette, run-length coded
    os2_palette8,  // 8 bits under the 12-byte OS/2 header (always bottom-up)
    rgb24_v5,   // 24 bits under the 124-byte version 5 header
    rgb32,      // 32 bits under the plain 40-byte header: the fourth byte, alpha or padding, as the picture has it
};

// Where a BMP file's header holds what tests change in it.
constexpr size_t BMP_OFFSET_AT = 10, BMP_WIDTH_AT = 18, BMP_HEIGHT_AT = 22, BMP_BITS_AT = 28;

// Writes `value` over the 4 bytes at `at`, least significant first.
void put32_at(std::vector<uint8_t>& bytes, size_t at, uint32_t value);

// A picture as 0xAARRGGBB pixels, row 0 at the top.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int column, int row) const { return pixels[size_t(row) * width + column]; }
};

// A grey picture: 0xFF000000 | level x 0x010101.
Picture grey_picture(int width, int height, const std::vector<uint8_t>& levels);

// A 5 x 3 grey picture (so every layout pads its rows) in as many levels as
// `layout`'s palette holds, 256 for the others.
Picture layout_sample(BmpLayout layout);

// The file's bytes. Palette layouts need at most 2, 16 or 256 distinct colours
// (false otherwise); 16-bit layouts keep each channel's top bits. Rows are
// stored bottom-up unless `top_down`. Run-length layouts code each row as runs
// of one colour and end it with a line end, the image with an end of bitmap.
bool encode_bmp(const Picture& picture, BmpLayout layout, bool top_down, std::vector<uint8_t>& bytes);

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);
