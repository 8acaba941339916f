#include "heightmap/image_format.h"

#include <cstring>

namespace {

// A byte string at a place in the file.
struct Mark {
    size_t at;
    const char* bytes;
    size_t size;
};

bool has(const uint8_t* bytes, size_t size, const Mark& mark) {
    return size >= mark.at + mark.size && memcmp(bytes + mark.at, mark.bytes, mark.size) == 0;
}

#define MARK(at, text) Mark{at, text, sizeof text - 1}

const struct Signature {
    ImageFormat format;
    Mark first, second;  // second.size 0: none
} SIGNATURES[] = {
    {{"PNG", "png"}, MARK(0, "\x89PNG\r\n\x1a\n"), {}},
    {{"JPEG", "jpg"}, MARK(0, "\xff\xd8\xff"), {}},
    {{"WebP", "webp"}, MARK(0, "RIFF"), MARK(8, "WEBP")},
    {{"DDS", "dds"}, MARK(0, "DDS "), {}},
    {{"GIF", "gif"}, MARK(0, "GIF8"), {}},
    {{"TIFF", "tif"}, MARK(0, "II*\0"), {}},
    {{"TIFF", "tif"}, MARK(0, "MM\0*"), {}},
};

const ImageFormat PCX = {"PCX", "pcx"};
const ImageFormat TGA = {"TGA", "tga"};

uint32_t le16(const uint8_t* p) { return p[0] | p[1] << 8; }

// PCX: a maker byte, a version, run-length coding or none, and the bits of
// a pixel in a plane.
bool is_pcx(const uint8_t* b, size_t size) {
    return size >= 128 && b[0] == 0x0A && (b[1] == 0 || (b[1] >= 2 && b[1] <= 5)) && b[2] <= 1 &&
           (b[3] == 1 || b[3] == 2 || b[3] == 4 || b[3] == 8);
}

// TGA has no signature: its 18-byte header must make sense. A colour map
// only for colour-mapped types, which must have one; a pixel depth of its
// kind; a size that is not empty.
bool is_tga(const uint8_t* b, size_t size) {
    if (size < 18) return false;
    const int map = b[1], type = b[2] & 7, depth = b[16];
    const bool coded = b[2] == 9 || b[2] == 10 || b[2] == 11;
    if (!(coded || b[2] == 1 || b[2] == 2 || b[2] == 3)) return false;
    if (type == 1 ? map != 1 : map > 1) return false;
    if (le16(b + 3) != 0) return false;  // the colour map starts at entry 0
    if (le16(b + 12) == 0 || le16(b + 14) == 0) return false;
    if (type == 3) return depth == 8;
    if (type == 1) return depth == 8;
    return depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

}  // namespace

const ImageFormat* other_image_format(const uint8_t* bytes, size_t size) {
    for (const Signature& s : SIGNATURES)
        if (has(bytes, size, s.first) && (s.second.size == 0 || has(bytes, size, s.second))) return &s.format;
    if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return nullptr;
    if (is_pcx(bytes, size)) return &PCX;
    if (is_tga(bytes, size)) return &TGA;
    return nullptr;
}

std::string conversion_command(const std::string& path, const ImageFormat& format) {
    const size_t dot = path.rfind('.'), slash = path.rfind('/');
    const std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash)
                                 ? path.substr(0, dot)
                                 : path;
    const std::string kept = stem + "." + format.extension;
    return "mv " + path + " " + kept + " && convert " + kept + " -colorspace Gray -depth 8 BMP3:" + path;
}
