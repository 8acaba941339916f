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
        case BmpLayout::palette4:
        case BmpLayout::rle4: return 4;
        case BmpLayout::palette8:
        case BmpLayout::rle8:
        case BmpLayout::os2_palette8: return 8;
        case BmpLayout::rgb555:
        case BmpLayout::rgb565: return 16;
        case BmpLayout::rgb24:
        case BmpLayout::rgb24_v5: return 24;
        case BmpLayout::argb32:
        case BmpLayout::rgb32: return 32;
    }
    return 0;
}

uint32_t info_size_of(BmpLayout layout) {
    switch (layout) {
        case BmpLayout::os2_palette8: return 12;
        case BmpLayout::argb32: return 108;  // the V4 header carries alpha
        case BmpLayout::rgb24_v5: return 124;
        default: return 40;
    }
}

// BI_RGB, BI_RLE8, BI_RLE4 or BI_BITFIELDS.
uint32_t compression_of(BmpLayout layout) {
    switch (layout) {
        case BmpLayout::rle8: return 1;
        case BmpLayout::rle4: return 2;
        case BmpLayout::rgb565:
        case BmpLayout::argb32: return 3;
        default: return 0;
    }
}

// Appends one row of palette indices as runs: a count and the index (twice
// over in the two halves of the byte at 4 bits), then a line end.
void put_rle_row(std::vector<uint8_t>& out, const std::vector<uint32_t>& indices, int bpp) {
    for (size_t at = 0; at < indices.size();) {
        size_t run = 1;
        while (at + run < indices.size() && run < 255 && indices[at + run] == indices[at]) run++;
        out.push_back(uint8_t(run));
        out.push_back(uint8_t(bpp == 4 ? indices[at] << 4 | indices[at] : indices[at]));
        at += run;
    }
    out.push_back(0);
    out.push_back(0);
}

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

void put32_at(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; i++) bytes[at + i] = uint8_t(value >> (8 * i));
}

Picture grey_picture(int width, int height, const std::vector<uint8_t>& levels) {
    Picture picture{width, height, {}};
    picture.pixels.reserve(levels.size());
    for (uint8_t level : levels) picture.pixels.push_back(0xFF000000u | level * 0x010101u);
    return picture;
}

Picture layout_sample(BmpLayout layout) {
    const int bits = bits_per_pixel(layout);
    const int levels = bits < 8 ? 1 << bits : 256;
    std::vector<uint8_t> grey;
    for (int i = 0; i < 15; i++) grey.push_back(uint8_t((i * 7 % levels) * (255 / (levels - 1))));
    return grey_picture(5, 3, grey);
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
    const bool rle = layout == BmpLayout::rle8 || layout == BmpLayout::rle4;
    const bool os2 = layout == BmpLayout::os2_palette8;
    if (os2) top_down = false;  // its header has no sign to flip
    const uint32_t info_size = info_size_of(layout);
    const uint32_t masks_size = layout == BmpLayout::rgb565 ? 12 : 0;
    const uint32_t palette_entry = os2 ? 3 : 4;
    const uint32_t data_offset = 14 + info_size + masks_size + uint32_t(palette.size()) * palette_entry;
    const uint32_t row_size = ((uint32_t(picture.width) * bpp + 31) / 32) * 4;

    // The pixels first, as run-length data has no size of its own.
    std::vector<uint8_t> data, row;
    std::vector<uint32_t> indices;
    for (int r = 0; r < picture.height; r++) {
        int source_row = top_down ? r : picture.height - 1 - r;
        row.clear();
        indices.clear();
        if (bpp <= 8) {
            for (int c = 0; c < picture.width; c++) indices.push_back(index_of[picture.at(c, source_row) & 0xFFFFFF]);
        }
        if (rle) {
            put_rle_row(data, indices, bpp);
            continue;
        }
        if (bpp <= 8) {
            uint32_t bits = 0;
            int filled = 0;
            for (uint32_t index : indices) {
                bits = bits << bpp | index;
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
        data.insert(data.end(), row.begin(), row.end());
    }
    if (rle) {
        data.push_back(0);
        data.push_back(1);
    }

    bytes.clear();
    bytes.push_back('B');
    bytes.push_back('M');
    put32(bytes, data_offset + uint32_t(data.size()));
    put32(bytes, 0);
    put32(bytes, data_offset);
    put32(bytes, info_size);
    if (os2) {
        put16(bytes, uint32_t(picture.width));
        put16(bytes, uint32_t(picture.height));
        put16(bytes, 1);
        put16(bytes, bpp);
    } else {
        put32(bytes, uint32_t(picture.width));
        put32(bytes, uint32_t(top_down ? -picture.height : picture.height));
        put16(bytes, 1);
        put16(bytes, bpp);
        put32(bytes, compression_of(layout));
        put32(bytes, uint32_t(data.size()));
        put32(bytes, 2835);  // 72 dpi
        put32(bytes, 2835);
        put32(bytes, uint32_t(bpp <= 8 ? palette.size() : 0));
        put32(bytes, 0);
    }
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
    bytes.resize(14 + info_size + masks_size, 0);  // the rest of a V5 header: unused
    for (uint32_t colour : palette) {
        if (os2)
            for (int shift = 0; shift < 24; shift += 8) bytes.push_back(colour >> shift & 0xFF);
        else
            put32(bytes, colour);
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    return true;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}
