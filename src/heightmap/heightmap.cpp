#include "heightmap/heightmap.h"

#include <allegro5/allegro_image.h>
#include <allegro5/allegro_memfile.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "heightmap/bmp_header.h"
#include "heightmap/image_format.h"
#include "engine/format.h"
#include "heightmap/shipped_files.h"
#include "engine/saturating.h"

ALLEGRO_BITMAP* heightmap = nullptr;

namespace {

const char* const NOT_AN_IMAGE = "not an image the library can read (unreadable, empty, truncated or corrupt)";

// What a file that is neither regular nor a folder is, in a few words.
const char* kind_of(mode_t mode) {
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "something other than a file";
}

// Why `path` cannot be opened, for the "error" / "lol" box's line.
std::string open_problem(const char* path, int error) {
    if (error != ENOENT) return format("the file cannot be opened (%s)", strerror(error));
    char target[PATH_MAX];
    const ssize_t length = readlink(path, target, sizeof target - 1);
    if (length < 0) return "no such file in the working directory";
    target[length] = '\0';
    return format("it is a link to a missing file (%s)", target);
}

// Reads up to `size` bytes from `offset` on; the count read, short only at the file's end.
size_t read_at(int fd, uint64_t offset, uint8_t* into, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, into + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    return done;
}

// A file's bytes in order from `offset`, read a block at a time, at most
// `limit` of them; -1 after the last.
class FileBytes {
public:
    FileBytes(int fd, uint64_t offset, uint64_t limit) : fd_(fd), offset_(offset), limit_(limit), block_(1 << 16) {}
    int operator()() {
        if (taken_ == limit_) return -1;
        if (at_ == filled_) {
            filled_ = read_at(fd_, offset_, block_.data(), block_.size());
            if (filled_ == 0) return -1;
            offset_ += filled_;
            at_ = 0;
        }
        taken_++;
        return block_[at_++];
    }
    uint64_t taken() const { return taken_; }

private:
    int fd_;
    uint64_t offset_, limit_;
    std::vector<uint8_t> block_;
    size_t filled_ = 0, at_ = 0;
    uint64_t taken_ = 0;
};

// The same from a copy in memory.
class CopiedBytes {
public:
    CopiedBytes(const std::vector<uint8_t>& bytes, uint64_t offset, uint64_t limit)
        : bytes_(bytes), at_(offset), end_(std::min<uint64_t>(bytes.size(), saturating_sum(offset, limit))) {}
    int operator()() { return at_ < end_ ? bytes_[at_++] : -1; }

private:
    const std::vector<uint8_t>& bytes_;
    uint64_t at_, end_;
};

// Why the BMP image `header` describes cannot be shown when the file holds
// `file_size` bytes, `next` gives its pixel data and `limit` spares what it
// does; "" when it can, with `reach` set to the bytes of the file the
// decoder reads. Cheap checks first: the length of raw pixels, then the size,
// then the run-length data.
template <typename NextByte>
std::string bmp_problem(const BmpHeader& header, uint64_t file_size, const char* name, const MemoryLimit& limit,
                        NextByte&& next, uint64_t& reach) {
    if (header.pixels == BmpPixels::raw) {
        const uint64_t needed = bmp_bytes_needed(header);
        if (file_size < needed)
            return format("%s holds %llu bytes, but its header promises a %lld x %lld %d-bit image, which needs "
                          "%llu bytes: the file is cut short or corrupt",
                          name, (unsigned long long)file_size, (long long)header.width, (long long)header.height,
                          header.bits_per_pixel, (unsigned long long)needed);
    }
    std::string too_large = heightmap_size_problem(name, header.width, header.height, limit);
    if (!too_large.empty()) return too_large;
    if (header.pixels == BmpPixels::raw) {
        reach = bmp_bytes_read(header, bmp_raw_data_bytes(header));
    } else {
        const uint64_t longest = bmp_rle_max_bytes(header);
        uint64_t taken = 0;
        auto counted = [&] {
            const int byte = next();
            if (byte >= 0) taken++;
            return byte;
        };
        if (!bmp_rle_complete(header, counted)) {
            if (taken == longest && saturating_sum(header.data_offset, taken) < file_size)
                return format("%s's compressed pixels run on past %llu bytes, more than a %lld x %lld image needs: "
                              "the file is corrupt",
                              name, (unsigned long long)longest, (long long)header.width, (long long)header.height);
            return format("%s ends inside its compressed pixels (%llu bytes), before the %lld x %lld image its "
                          "header promises: the file is cut short or corrupt",
                          name, (unsigned long long)file_size, (long long)header.width, (long long)header.height);
        }
        reach = bmp_bytes_read(header, taken);
    }
    reach = std::min(reach, file_size);
    // The copy and the decoder's own buffers, before the mesh is built.
    const uint64_t pixels = saturating_product(uint64_t(header.width), uint64_t(header.height));
    const uint64_t decoding = saturating_sum(reach, saturating_product(pixels, DECODING_BYTES_PER_PIXEL));
    if (decoding > limit.spare)
        return format("%s is %lld x %lld pixels in %llu bytes of the file: reading and decoding them needs %s, "
                      "and %s can be spared %s",
                      name, (long long)header.width, (long long)header.height, (unsigned long long)reach,
                      byte_amount(decoding).c_str(), byte_amount(limit.spare).c_str(), limit.name.c_str());
    return "";
}

// Decodes a BMP file's bytes: as a BMP whatever they look like, with the
// file's own colour levels whatever its alpha channel.
ALLEGRO_BITMAP* decode_bmp(std::vector<uint8_t>& bytes) {
    ALLEGRO_FILE* file = al_open_memfile(bytes.data(), int64_t(bytes.size()), "r");
    if (!file) return nullptr;
    ALLEGRO_BITMAP* image = al_load_bitmap_flags_f(file, ".bmp", ALLEGRO_NO_PREMULTIPLIED_ALPHA);
    al_fclose(file);
    return image;
}

// "hmap.bmp is ... too large": `needs` says what for and how much.
std::string too_large(const char* name, int64_t width, int64_t height, const std::string& needs,
                      const MemoryLimit& limit) {
    return format("%s is %lld x %lld pixels, too large for the memory here: %s, and %s can be spared %s", name,
                  (long long)width, (long long)height, needs.c_str(), byte_amount(limit.spare).c_str(),
                  limit.name.c_str());
}

ALLEGRO_BITMAP* fail(HeightmapProblem& problem, bool refused, std::string reason, int fd = -1) {
    if (fd >= 0) close(fd);
    problem.refused = refused;
    problem.reason = std::move(reason);
    return nullptr;
}

}  // namespace

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

std::string heightmap_size_problem(const char* name, int64_t width, int64_t height, const MemoryLimit& limit) {
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
        std::string refusal = too_large(name, width, height,
                                        format("its terrain needs %s (%llu bytes a pixel for the mesh and the "
                                               "decoded image)",
                                               byte_amount(needed).c_str(), (unsigned long long)BYTES_PER_PIXEL),
                                        limit);
        // With 2 % to spare: the mesh is asked for again once the image is
        // decoded, and what the library took meanwhile must not tip it over.
        const int64_t side = largest_square_side(limit.spare - limit.spare / 50);
        if (side > 1)
            refusal += format(". At most %lld x %lld pixels fit; to shrink it to that: ", (long long)side,
                              (long long)side) +
                       shrink_command(name, width, height, side);
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

MeshBuildCheck mesh_memory_check(const char* name, ALLEGRO_BITMAP* image, HeightmapProblem& problem,
                                 const MemoryBudget& budget) {
    const int width = al_get_bitmap_width(image), height = al_get_bitmap_height(image);
    return [=, &problem](uint64_t bytes_left) {
        const std::string why = mesh_fill_problem(name, width, height, bytes_left, budget());
        if (why.empty()) return true;
        fail(problem, true, why);
        return false;
    };
}

ALLEGRO_BITMAP* load_heightmap(const char* path, HeightmapProblem& problem, const MemoryBudget& budget) {
    // Non-blocking, so a named pipe with no writer cannot hold the open up.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(problem, false, open_problem(path, errno));
    struct stat info;
    if (fstat(fd, &info) != 0) return fail(problem, false, "the file cannot be reached", fd);
    if (S_ISDIR(info.st_mode)) return fail(problem, false, "it is a folder, not an image", fd);
    if (!S_ISREG(info.st_mode))
        return fail(problem, true, format("%s is %s, not a regular file", path, kind_of(info.st_mode)), fd);
    if (!al_is_image_addon_initialized()) {
        problem.no_image_addon = true;
        return fail(problem, false, "the image add-on is not running", fd);
    }

    // The header alone first, so a lying one costs nothing.
    const uint64_t file_size = uint64_t(info.st_size);
    uint8_t start[BMP_HEADER_BYTES];
    const size_t started = read_at(fd, 0, start, sizeof start);
    if (const ImageFormat* other = other_image_format(start, started)) {
        const int bits = sample_bits(*other, [fd](uint64_t at, uint8_t* into, size_t size) {
            return read_at(fd, at, into, size);
        });
        return fail(problem, true, other_format_refusal(path, *other, bits, recipe_path()), fd);
    }
    BmpHeader header;
    if (!read_bmp_header(start, started, header)) return fail(problem, false, NOT_AN_IMAGE, fd);
    const MemoryLimit limit = budget();
    uint64_t reach = 0;
    std::string why = bmp_problem(header, file_size, path, limit,
                                  FileBytes(fd, header.data_offset, bmp_rle_max_bytes(header)), reach);
    if (!why.empty()) return fail(problem, true, why, fd);

    // Then the bytes the decoder reads, once: the file may change meanwhile,
    // so every check runs again on the copy, and the decoder reads only it.
    std::vector<uint8_t> bytes(reach);
    bytes.resize(read_at(fd, 0, bytes.data(), bytes.size()));
    close(fd);
    if (!read_bmp_header(bytes.data(), bytes.size(), header)) return fail(problem, false, NOT_AN_IMAGE);
    why = bmp_problem(header, bytes.size(), path, limit,
                      CopiedBytes(bytes, header.data_offset, bmp_rle_max_bytes(header)), reach);
    if (!why.empty()) return fail(problem, true, why);
    ALLEGRO_BITMAP* image = decode_bmp(bytes);
    std::vector<uint8_t>().swap(bytes);
    if (!image) return fail(problem, false, NOT_AN_IMAGE);

    // The mesh is still to come: asked again of the memory left now.
    const int width = al_get_bitmap_width(image), height = al_get_bitmap_height(image);
    const MemoryLimit left = budget();
    const uint64_t mesh = mesh_size(width, height).bytes;
    if (mesh > left.spare) {
        al_destroy_bitmap(image);
        return fail(problem, true,
                    too_large(path, width, height,
                              format("once it is decoded, its mesh still needs %s (%zu bytes a pixel)",
                                     byte_amount(mesh).c_str(), VERTICES_PER_CELL * sizeof(TerrainVertex)),
                              left));
    }
    return image;
}
