// The tools this machine has for shrinking a height image: GDAL, and
// ImageMagick with the limits its resource policy sets. Asked only when an
// image is refused as too large, never on a normal start.
#pragma once

#include <cstdint>
#include <string>

// What ImageMagick's resource policy lets it hold, as ImageMagick itself
// reports it (environment variables and policy.xml together). UINT64_MAX
// for "unlimited"; 0 where it was not said.
struct ImageMagickPolicy {
    uint64_t width = 0, height = 0;  // pixels a side of any image
    uint64_t area = 0;               // pixels of an image it keeps in memory; larger ones go to disk
    uint64_t memory = 0, map = 0, disk = 0;  // bytes of all images together
    int sample_bytes = 0;            // bytes of one channel of a pixel: 2 for Q16, 4 for HDRI
};

struct ShrinkTools {
    bool gdal = false;         // gdal_translate is on the PATH
    bool imagemagick = false;  // convert is ImageMagick's
    ImageMagickPolicy policy;
};

// The policy from the text of `convert -version` followed by `convert -list
// resource` ("Width: 16KP", "Memory: 256MiB", "unlimited", ...).
ImageMagickPolicy read_imagemagick_policy(const std::string& text);

// Whether ImageMagick under `policy` can hold a width x height image (a
// `palette` one, or not), the images its resize makes between (a pass over
// the rows or the columns) and the copy shrunk to to_width x to_height, all
// at once: each in memory while its area and the memory left allow, else on
// disk while that lasts.
bool imagemagick_admits(const ImageMagickPolicy& policy, int64_t width, int64_t height, int64_t to_width,
                        int64_t to_height, bool palette);

// Asks the shell which tools are here and ImageMagick for its policy, within
// a few seconds. Where it cannot ask (no shell, no processes left), it takes
// both tools as there and ImageMagick's limits as unknown (0).
ShrinkTools shrink_tools_here();
