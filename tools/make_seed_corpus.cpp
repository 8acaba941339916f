// Makes the fuzz target's seed corpus: a small image in every BMP layout the
// tests use, bottom-up and top-down, and every hostile image small enough to
// be a seed.
//
//   make_seed_corpus DIR

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "bmp_writer.h"
#include "hostile_bmp.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    const struct {
        const char* name;
        BmpLayout layout;
    } layouts[] = {{"mono1", BmpLayout::mono1},        {"palette4", BmpLayout::palette4},
                   {"palette8", BmpLayout::palette8},  {"rgb555", BmpLayout::rgb555},
                   {"rgb565", BmpLayout::rgb565},      {"rgb24", BmpLayout::rgb24},
                   {"argb32", BmpLayout::argb32},      {"rle8", BmpLayout::rle8},
                   {"rle4", BmpLayout::rle4},          {"os2_palette8", BmpLayout::os2_palette8},
                   {"rgb24_v5", BmpLayout::rgb24_v5},  {"rgb32", BmpLayout::rgb32}};
    for (const auto& l : layouts) {
        for (bool top_down : {false, true}) {
            if (top_down && l.layout == BmpLayout::os2_palette8) continue;  // bottom-up only
            std::vector<uint8_t> bytes;
            const std::string path = dir + "/" + l.name + (top_down ? "_top_down" : "") + ".bmp";
            if (!encode_bmp(layout_sample(l.layout), l.layout, top_down, bytes) || !write_file(path, bytes)) {
                fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
                return 1;
            }
        }
    }
    for (const HostileImage& image : hostile_images()) {
        const std::string path = dir + "/" + image.name + ".bmp";
        struct stat info;
        if (!image.make(path) || stat(path.c_str(), &info) != 0) {
            fprintf(stderr, "%s: cannot make %s\n", argv[0], path.c_str());
            return 1;
        }
        if (!S_ISREG(info.st_mode) || info.st_size > 65536) remove(path.c_str());  // no pipes, no giants
    }
    return 0;
}
