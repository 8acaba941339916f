// Image formats other than BMP, told by a file's first bytes: the viewer
// reads BMP only, and names the format of any other image it is given, with
// how to convert it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct ImageFormat {
    const char* name;       // "PNG", "JPEG", ...
    const char* extension;  // its usual file name extension, without the dot
};

// The format whose signature a file's first `size` bytes begin with; null
// for none of them (a BMP, or no image at all).
const ImageFormat* other_image_format(const uint8_t* bytes, size_t size);

// An ImageMagick command line that keeps the file at `path` under its own
// format's extension and makes a BMP the viewer reads in its place.
std::string conversion_command(const std::string& path, const ImageFormat& format);
