// Image formats other than BMP, told by a file's first bytes: the viewer
// reads BMP only, and names the format of any other image it is given, with
// how to convert it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct ImageFormat {
    const char* name;       // "PNG", "JPEG", ...
    const char* extension;  // its usual file name extension, without the dot
};

// The format whose signature a file's first `size` bytes begin with; null
// for none of them (a BMP, or no image at all).
const ImageFormat* other_image_format(const uint8_t* bytes, size_t size);

// Reads up to `size` bytes of a file from `offset` on into `into`; the count read.
using ReadAt = std::function<size_t(uint64_t offset, uint8_t* into, size_t size)>;

// The bits of one sample (a grey level, or one channel of a pixel) that an
// image in `format` has, from its header: PNG's IHDR, TIFF's first
// BitsPerSample; 0 for other formats or a header that does not say.
int sample_bits(const ImageFormat& format, const ReadAt& read);

// Why the image at `path` in `format` with `bits` a sample is refused, and a
// command that keeps the file under its format's extension (a name free now)
// and makes a BMP the viewer reads in its place: ImageMagick's, or for
// samples deeper than 8 bits (an elevation model, whose heights an 8-bit
// conversion would crush into black) the elevation recipe at `recipe` ("":
// not found).
std::string other_format_refusal(const std::string& path, const ImageFormat& format, int bits,
                                 const std::string& recipe);
