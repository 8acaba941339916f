#include "heightmap/size_policy.h"

#include "engine/format.h"
#include "engine/saturating.h"

uint64_t heightmap_bytes(int64_t width, int64_t height) {
    const MeshSize mesh = mesh_size(width, height);
    return saturating_sum(mesh.bytes, saturating_product(mesh.cells, DECODED_BYTES_PER_PIXEL));
}

int64_t largest_square_side(uint64_t spare) {
    int64_t fits = 0, over = int64_t(1) << 16;  // the library holds no square of 2^16 a side
    while (over - fits > 1) {
        const int64_t side = (fits + over) / 2;
        const bool fit = heightmap_bytes(side, side) <= spare && uint64_t(side * side) <= LIBRARY_MAX_PIXELS;
        (fit ? fits : over) = side;
    }
    return fits;
}

std::string heightmap_size_problem(const char* name, int64_t width, int64_t height, const MemoryLimit& limit,
                                   int64_t* fits_side) {
    if (width > LIBRARY_MAX_ROW_PIXELS || height > LIBRARY_MAX_ROWS)
        return format("%s is %lld x %lld pixels, too large for the image library: it counts a row's bytes and the "
                      "rows in an int, so it takes at most %lld pixels a row and %lld rows",
                      name, (long long)width, (long long)height, (long long)LIBRARY_MAX_ROW_PIXELS,
                      (long long)LIBRARY_MAX_ROWS);
    // No columns, so no cells and no memory, but still a progress line a
    // row: no more rows than an image one pixel wide may have.
    if (width == 0 && heightmap_bytes(1, height) > limit.spare)
        return format("%s is 0 x %lld pixels: it holds no terrain, yet has more rows than an image one pixel wide "
                      "could have here (%s can be spared %s, %llu bytes a pixel)",
                      name, (long long)height, byte_amount(limit.spare).c_str(), limit.name.c_str(),
                      (unsigned long long)BYTES_PER_PIXEL);
    const uint64_t needed = heightmap_bytes(width, height);
    if (needed > limit.spare) {
        const std::string needs = format("its terrain needs %s (%llu bytes a pixel for the mesh and the decoded "
                                         "image)",
                                         byte_amount(needed).c_str(), (unsigned long long)BYTES_PER_PIXEL);
        std::string refusal = too_large_for_memory(name, width, height, needs, limit);
        // With 2 % to spare: the mesh is asked for again once the image is
        // decoded, and what the library took meanwhile must not tip it over.
        const int64_t side = largest_square_side(limit.spare - limit.spare / 50);
        if (side > 1) {
            refusal += format(". At most %lld x %lld pixels fit", (long long)side, (long long)side);
            if (fits_side) *fits_side = side;
        }
        return refusal;
    }
    if (saturating_product(uint64_t(width), uint64_t(height)) > LIBRARY_MAX_PIXELS)
        return format("%s is %lld x %lld pixels, too large for the image library: it holds at most %llu pixels "
                      "in one image",
                      name, (long long)width, (long long)height, (unsigned long long)LIBRARY_MAX_PIXELS);
    return "";
}

std::string mesh_fill_problem(const char* name, int64_t width, int64_t height, uint64_t bytes_left,
                              const MemoryLimit& limit) {
    if (bytes_left <= limit.spare) return "";
    return format("%s is %lld x %lld pixels, too large for the memory left here: other programs took memory "
                  "while its mesh was being built, and the rest of the mesh needs %s while %s can be spared %s. "
                  "Close some of them, or wait for them to end, and start the viewer again",
                  name, (long long)width, (long long)height, byte_amount(bytes_left).c_str(),
                  byte_amount(limit.spare).c_str(), limit.name.c_str());
}


std::string too_large_for_memory(const char* name, int64_t width, int64_t height, const std::string& needs,
                                 const MemoryLimit& limit) {
    return format("%s is %lld x %lld pixels, too large for the memory here: %s, and %s can be spared %s", name,
                  (long long)width, (long long)height, needs.c_str(), byte_amount(limit.spare).c_str(),
                  limit.name.c_str());
}
