#include "bmp_writer.h"

#include <cstdio>
#include <map>

namespace {

void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(value & 0xFF);
    out.push_back((value >> 8) & 0xFF);
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

int bits_per_pixel(BmpLayout layout) {
    switch (layout) {
        case BmpLayout::mono1: return 1;
        case BmpLayout::palette4: return 4;
        case BmpLayout::palette8: return 8;
        case BmpLayout::rgb555:
        case BmpLayout::rgb565: return 16;
        case BmpLayout::rgb24: return 24;
        case BmpLayout::argb32: return 32;
    }
    return 0;
}

bool uses_masks(BmpLayout layout) { return layout == BmpLayout::rgb565 || layout == BmpLayout::argb32; }

// Appends one pixel of a 16-, 24- or 32-bit row.
void put_direct_pixel(std::vector<uint8_t>& row, BmpLayout layout, uint32_t argb) {
    uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    switch (layout) {
        case BmpLayout::rgb555: put16(row, (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3)); break;
        case BmpLayout::rgb565: put16(row, (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)); break;
        case BmpLayout::rgb24:
            row.push_back(b);
            row.push_back(g);
            row.push_back(r);
            break;
        default: put32(row, argb); break;
    }
}

}  // namespace

Picture grey_picture(int width, int height, const std::vector<uint8_t>& levels) {
    Picture picture{width, height, {}};
    picture.pixels.reserve(levels.size());
    for (uint8_t level : levels) picture.pixels.push_back(0xFF000000u | level * 0x010101u);
    return picture;
}

bool encode_bmp(const Picture& picture, BmpLayout layout, bool top_down, std::vector<uint8_t>& bytes) {
    const int bpp = bits_per_pixel(layout);
    std::vector<uint32_t> palette;
    std::map<uint32_t, uint32_t> index_of;
    if (bpp <= 8) {
        for (uint32_t pixel : picture.pixels) {
            uint32_t colour = pixel & 0xFFFFFF;
            if (index_of.count(colour)) continue;
            if (palette.size() == (1u << bpp)) return false;
            index_of[colour] = palette.size();
            palette.push_back(colour);
        }
        palette.resize(1u << bpp, 0);
    }
    const uint32_t info_size = layout == BmpLayout::argb32 ? 108 : 40;  // V4 header carries alpha
    const uint32_t masks_size = layout == BmpLayout::rgb565 ? 12 : 0;
    const uint32_t data_offset = 14 + info_size + masks_size + uint32_t(palette.size()) * 4;
    const uint32_t row_size = ((uint32_t(picture.width) * bpp + 31) / 32) * 4;
    const uint32_t data_size = row_size * uint32_t(picture.height);

    bytes.clear();
    bytes.push_back('B');
    bytes.push_back('M');
    put32(bytes, data_offset + data_size);
    put32(bytes, 0);
    put32(bytes, data_offset);
    put32(bytes, info_size);
    put32(bytes, uint32_t(picture.width));
    put32(bytes, uint32_t(top_down ? -picture.height : picture.height));
    put16(bytes, 1);
    put16(bytes, bpp);
    put32(bytes, uses_masks(layout) ? 3 : 0);  // BI_BITFIELDS or BI_RGB
    put32(bytes, data_size);
    put32(bytes, 2835);  // 72 dpi
    put32(bytes, 2835);
    put32(bytes, uint32_t(bpp <= 8 ? palette.size() : 0));
    put32(bytes, 0);
    if (layout == BmpLayout::rgb565) {
        put32(bytes, 0xF800);
        put32(bytes, 0x07E0);
        put32(bytes, 0x001F);
    }
    if (layout == BmpLayout::argb32) {
        put32(bytes, 0x00FF0000);
        put32(bytes, 0x0000FF00);
        put32(bytes, 0x000000FF);
        put32(bytes, 0xFF000000);
        put32(bytes, 0x73524742);  // 'sRGB'
        bytes.resize(bytes.size() + 36 + 12, 0);  // end points and gamma: unused
    }
    for (uint32_t colour : palette) put32(bytes, colour);

    std::vector<uint8_t> row;
    for (int r = 0; r < picture.height; r++) {
        int source_row = top_down ? r : picture.height - 1 - r;
        row.clear();
        if (bpp <= 8) {
            uint32_t bits = 0;
            int filled = 0;
            for (int c = 0; c < picture.width; c++) {
                bits = bits << bpp | index_of[picture.at(c, source_row) & 0xFFFFFF];
                filled += bpp;
                if (filled == 8) {
                    row.push_back(bits);
                    bits = 0;
                    filled = 0;
                }
            }
            if (filled > 0) row.push_back(bits << (8 - filled));
        } else {
            for (int c = 0; c < picture.width; c++) put_direct_pixel(row, layout, picture.at(c, source_row));
        }
        row.resize(row_size, 0);
        bytes.insert(bytes.end(), row.begin(), row.end());
    }
    return true;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}
