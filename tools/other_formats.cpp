#include "other_formats.h"

#include <algorithm>

namespace {

void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(value & 0xFF);
    out.push_back(value >> 8 & 0xFF);
}

void put16be(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(value >> 8 & 0xFF);
    out.push_back(value & 0xFF);
}

void put32be(std::vector<uint8_t>& out, uint32_t value) {
    put16be(out, value >> 16);
    put16be(out, value & 0xFFFF);
}

uint8_t grey_of(const Picture& picture, int column, int row) { return picture.at(column, row) & 0xFF; }

uint32_t crc32(const uint8_t* bytes, size_t size) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; i++) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; bit++) crc = crc >> 1 ^ (crc & 1 ? 0xEDB88320 : 0);
    }
    return ~crc;
}

// A PNG chunk: its length, type, data and the CRC of type and data.
void put_chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    put32be(out, uint32_t(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32be(out, crc32(out.data() + start, out.size() - start));
}

}  // namespace

std::vector<uint8_t> encode_tga(const Picture& picture, bool grey) {
    std::vector<uint8_t> out = {0, 0, uint8_t(grey ? 3 : 2), 0, 0, 0, 0, 0, 0, 0, 0, 0};
    put16(out, uint32_t(picture.width));
    put16(out, uint32_t(picture.height));
    out.push_back(grey ? 8 : 24);
    out.push_back(0x20);  // rows top-down
    for (int r = 0; r < picture.height; r++)
        for (int c = 0; c < picture.width; c++) {
            const uint32_t pixel = picture.at(c, r);
            if (grey) {
                out.push_back(pixel & 0xFF);
            } else {
                out.push_back(pixel & 0xFF);
                out.push_back(pixel >> 8 & 0xFF);
                out.push_back(pixel >> 16 & 0xFF);
            }
        }
    return out;
}

std::vector<uint8_t> encode_png(const Picture& picture, int bits) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    put32be(header, uint32_t(picture.width));
    put32be(header, uint32_t(picture.height));
    header.insert(header.end(), {uint8_t(bits), 0, 0, 0, 0});  // grey, no interlacing
    put_chunk(out, "IHDR", header);

    std::vector<uint8_t> rows;  // each row after its filter byte, 0: none
    for (int r = 0; r < picture.height; r++) {
        rows.push_back(0);
        for (int c = 0; c < picture.width; c++)
            for (int byte = 0; byte < bits / 8; byte++) rows.push_back(grey_of(picture, c, r));  // level * 257
    }
    std::vector<uint8_t> data = {0x78, 0x01};  // zlib, deflate
    size_t at = 0;
    do {
        const size_t size = std::min<size_t>(rows.size() - at, 65535);
        data.push_back(at + size == rows.size() ? 1 : 0);  // a stored block, the last one or not
        put16(data, uint32_t(size));
        put16(data, uint32_t(~size & 0xFFFF));
        data.insert(data.end(), rows.begin() + at, rows.begin() + at + size);
        at += size;
    } while (at < rows.size());
    uint32_t a = 1, b = 0;  // Adler-32
    for (uint8_t byte : rows) a = (a + byte) % 65521, b = (b + a) % 65521;
    put32be(data, b << 16 | a);
    put_chunk(out, "IDAT", data);
    put_chunk(out, "IEND", {});
    return out;
}

std::vector<uint8_t> encode_pcx(const Picture& picture) {
    std::vector<uint8_t> out = {0x0A, 5, 1, 8};  // maker, version 5, run-length coded, 8 bits
    put16(out, 0);
    put16(out, 0);
    put16(out, uint32_t(picture.width - 1));
    put16(out, uint32_t(picture.height - 1));
    put16(out, 72);
    put16(out, 72);
    out.resize(65, 0);  // the 16-colour palette and a reserved byte
    out.push_back(1);   // one plane
    const uint32_t line = uint32_t(picture.width + 1) / 2 * 2;
    put16(out, line);
    put16(out, 2);  // grey palette
    out.resize(128, 0);
    for (int r = 0; r < picture.height; r++) {
        for (uint32_t c = 0; c < line;) {
            const uint8_t level = int(c) < picture.width ? grey_of(picture, int(c), r) : 0;
            uint32_t run = 1;
            while (c + run < line && run < 63 && int(c + run) < picture.width &&
                   grey_of(picture, int(c + run), r) == level)
                run++;
            if (run > 1 || level >= 0xC0) out.push_back(uint8_t(0xC0 | run));
            out.push_back(level);
            c += run;
        }
    }
    out.push_back(0x0C);
    for (int i = 0; i < 256; i++) out.insert(out.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
    return out;
}

std::vector<uint8_t> jpeg_start(int width, int height, size_t size) {
    std::vector<uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    out.insert(out.end(), {0xFF, 0xDB, 0, 67, 0});  // one quantisation table, all ones
    out.insert(out.end(), 64, 1);
    out.insert(out.end(), {0xFF, 0xC0, 0, 11, 8});  // baseline frame, 8 bits
    put16be(out, uint32_t(height));
    put16be(out, uint32_t(width));
    out.insert(out.end(), {1, 1, 0x11, 0});  // one channel
    out.resize(size, 0);
    return out;
}
