// How to shrink a BMP height image too large for the memory here, keeping
// the original: a command for a tool this machine has that reads the image
// and can hold it, or which tool to install.
#pragma once

#include <cstdint>
#include <string>

#include "heightmap/bmp_header.h"
#include "heightmap/shrink_tools.h"

// Whether GDAL reads a BMP of `header`'s kind: it knows the OS/2 and the
// plain Windows header, not their later versions nor 2-bit pixels.
bool gdal_reads(const BmpHeader& header);

// What follows "At most N x N pixels fit" for the image at `path`: "; to
// shrink it to that: COMMAND", the command fitting it into a `side` x `side`
// square with its shape kept, by ImageMagick where `tools` says its policy
// holds the image (it reads every BMP the viewer reads and resizes colours,
// not palette entries), else by GDAL, which reads any size; or what to
// install or change first.
std::string shrink_advice(const std::string& path, const BmpHeader& header, int64_t side, const ShrinkTools& tools);
