// Images in formats other than BMP, written by the project itself: the
// viewer refuses each by name, so the tests need them named hmap.bmp.
#pragma once

#include <cstdint>
#include <vector>

#include "bmp_writer.h"

// A TGA file of `picture`'s grey levels (8 bits a pixel), or of its colours
// (24 bits a pixel, `grey` false); rows top-down, not run-length coded.
std::vector<uint8_t> encode_tga(const Picture& picture, bool grey);

// A PNG file of `picture`'s grey levels (8 bits a pixel, or 16 with each
// level spread over the 16-bit range), its data stored without compression.
std::vector<uint8_t> encode_png(const Picture& picture, int bits = 8);

// A PCX file of `picture`'s grey levels: 8 bits a pixel, run-length coded,
// with its 256-colour palette at the end.
std::vector<uint8_t> encode_pcx(const Picture& picture);

// The start of a baseline JPEG whose frame header claims width x height
// pixels of one grey channel, padded to `size` bytes.
std::vector<uint8_t> jpeg_start(int width, int height, size_t size);
