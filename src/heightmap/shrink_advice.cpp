#include "heightmap/shrink_advice.h"

#include <algorithm>

#include "heightmap/advice_command.h"

bool gdal_reads(const BmpHeader& header) {
    return (header.info_size == 12 || header.info_size == 40) && header.bits_per_pixel != 2;
}

std::string shrink_advice(const std::string& path, const BmpHeader& header, int64_t side, const ShrinkTools& tools) {
    const int64_t width = header.width, height = header.height;
    // The size both tools make: the longer side `side`, the other in proportion.
    const int64_t to_width = width >= height ? side : std::max<int64_t>(1, (width * side + height / 2) / height);
    const int64_t to_height = width >= height ? std::max<int64_t>(1, (height * side + width / 2) / width) : side;
    const std::string kept = free_kept_name(path, "-large", "bmp");
    const std::string name = path_word(path), from = path_word(kept), size = std::to_string(side);
    const std::string imagemagick =
        keep_then(path, kept, "convert " + from + " -resize " + size + "x" + size + " BMP3:" + name);
    const bool palette = header.bits_per_pixel <= 8;
    if (tools.imagemagick && imagemagick_admits(tools.policy, width, height, to_width, to_height, palette))
        return "; to shrink it to that: " + imagemagick;
    // A palette image's entries are averaged, which keeps its heights where
    // the palette runs in order of grey, as a height image's does.
    if (tools.gdal && gdal_reads(header))
        return "; to shrink it to that: " +
               keep_then(path, kept, "gdal_translate -of BMP -r average -outsize " +
                                         (width >= height ? size + " 0 " : "0 " + size + " ") + from + " " + name);
    if (!gdal_reads(header) && !tools.imagemagick)
        return "; ImageMagick can shrink it to that: install it (Debian: apt-get install imagemagick) and start "
               "the viewer again for the command";
    if (!gdal_reads(header))
        return "; ImageMagick's resource policy here cannot hold an image this large (convert -list resource shows "
               "its limits), and GDAL does not read this kind of BMP: raise the limits in ImageMagick's policy.xml "
               "(convert -list policy shows where), then, to shrink it to that: " + imagemagick;
    if (tools.imagemagick)
        return "; GDAL can shrink it to that, reading images of any size (ImageMagick's resource policy here cannot "
               "hold one this large): install it (Debian: apt-get install gdal-bin) and start the viewer again for "
               "the command";
    return "; GDAL or ImageMagick can shrink it to that: install one (Debian: apt-get install gdal-bin, or "
           "imagemagick) and start the viewer again for the command";
}
