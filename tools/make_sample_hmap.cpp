// Makes the sample height image (tools/sample_landscape.h), so the first
// frame already shows terrain. Deterministic: the same file every time.
// Another size gives the same landscape over a larger or smaller field.
//
//   make_sample_hmap OUT.bmp [WIDTH HEIGHT]

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bmp_writer.h"
#include "sample_landscape.h"

namespace {

constexpr int WIDTH = 320;
constexpr int HEIGHT = 256;

}  // namespace

int main(int argc, char** argv) {
    const int width = argc == 4 ? atoi(argv[2]) : WIDTH, height = argc == 4 ? atoi(argv[3]) : HEIGHT;
    if ((argc != 2 && argc != 4) || width <= 0 || height <= 0) {
        fprintf(stderr, "usage: %s OUT.bmp [WIDTH HEIGHT]\n", argv[0]);
        return 2;
    }
    std::vector<uint8_t> levels;
    levels.reserve(size_t(width) * height);
    for (int row = 0; row < height; row++)
        for (int column = 0; column < width; column++) levels.push_back(sample_level(column, row));
    std::vector<uint8_t> bytes;
    if (!encode_bmp(grey_picture(width, height, levels), BmpLayout::palette8, false, bytes) ||
        !write_file(argv[1], bytes)) {
        fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
