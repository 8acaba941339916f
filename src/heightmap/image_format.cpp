#include "heightmap/image_format.h"

#include <cstring>

#include "heightmap/byte_order.h"
#include "heightmap/advice_command.h"

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

namespace {

uint32_t read_number(const ReadAt& read, uint64_t offset, size_t size, bool big_endian) {
    uint8_t b[4] = {};
    return read(offset, b, size) == size ? stored_number(b, size, big_endian) : 0;
}

// TIFF's first image: its directory's BitsPerSample (tag 258), whose values
// lie in the entry when they fit in 4 bytes, else where it points.
int tiff_sample_bits(const ReadAt& read) {
    uint8_t order[2];
    if (read(0, order, 2) != 2) return 0;
    const bool big = order[0] == 'M';
    const uint64_t directory = read_number(read, 4, 4, big);
    const uint32_t entries = read_number(read, directory, 2, big);
    for (uint32_t i = 0; i < entries; i++) {
        const uint64_t entry = directory + 2 + 12 * uint64_t(i);
        if (read_number(read, entry, 2, big) != 258) continue;
        if (read_number(read, entry + 2, 2, big) != 3) return 0;  // not SHORT values
        const uint32_t count = read_number(read, entry + 4, 4, big);
        return int(read_number(read, count <= 2 ? entry + 8 : read_number(read, entry + 8, 4, big), 2, big));
    }
    return 0;
}

}  // namespace

int sample_bits(const ImageFormat& format, const ReadAt& read) {
    if (strcmp(format.name, "TIFF") == 0) return tiff_sample_bits(read);
    if (strcmp(format.name, "PNG") != 0) return 0;
    uint8_t chunk[4];  // IHDR comes first: its length, name, width, height, then the bit depth
    if (read(12, chunk, 4) != 4 || memcmp(chunk, "IHDR", 4) != 0) return 0;
    return int(read_number(read, 24, 1, true));
}

std::string other_format_refusal(const std::string& path, const ImageFormat& format, int bits,
                                 const std::string& recipe) {
    const std::string kept = free_kept_name(path, "", format.extension);
    const std::string name = path_word(path), kept_word = path_word(kept);
    if (bits <= 8)
        return path + " holds a " + format.name + " image, and the viewer reads BMP images only. To convert it with "
               "ImageMagick: " +
               keep_then(path, kept, "convert " + kept_word + " -colorspace Gray -depth 8 BMP3:" + name);
    return path + " holds a " + format.name + " image of " + std::to_string(bits) + "-bit samples, and the viewer "
           "reads BMP images only. If it is an elevation model, an 8-bit conversion would squeeze its heights into "
           "the lowest few levels, all black; to spread them over the viewer's shaded levels: " +
           keep_then(path, kept, (recipe.empty() ? "dem_to_hmap.sh" : path_word(recipe)) + " --shaded " + kept_word +
                                     " " + name) +
           (recipe.empty() ? " (dem_to_hmap.sh comes with the viewer: in share/doc/terrain-viewer/examples once "
                             "installed, in scripts/ in its source)"
                           : "");
}
