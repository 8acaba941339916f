#include "heightmap/heightmap.h"

#include <allegro5/allegro_image.h>
#include <allegro5/allegro_memfile.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/format.h"
#include "heightmap/bmp_checks.h"
#include "heightmap/file_bytes.h"
#include "heightmap/image_format.h"
#include "heightmap/shipped_files.h"
#include "heightmap/size_policy.h"

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

// Decodes a BMP file's bytes: as a BMP whatever they look like, with the
// file's own colour levels whatever its alpha channel.
ALLEGRO_BITMAP* decode_bmp(std::vector<uint8_t>& bytes) {
    ALLEGRO_FILE* file = al_open_memfile(bytes.data(), int64_t(bytes.size()), "r");
    if (!file) return nullptr;
    ALLEGRO_BITMAP* image = al_load_bitmap_flags_f(file, ".bmp", ALLEGRO_NO_PREMULTIPLIED_ALPHA);
    al_fclose(file);
    return image;
}

ALLEGRO_BITMAP* fail(HeightmapProblem& problem, bool refused, std::string reason, int fd = -1) {
    if (fd >= 0) close(fd);
    problem.refused = refused;
    problem.reason = std::move(reason);
    return nullptr;
}

}  // namespace

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
    problem = HeightmapProblem();
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
                                  FileBytes(fd, header.data_offset, bmp_rle_max_bytes(header)), reach,
                                  &problem.fits_side);
    problem.header = header;
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
        const std::string needs = format("once it is decoded, its mesh still needs %s (%zu bytes a pixel)",
                                         byte_amount(mesh).c_str(), VERTICES_PER_CELL * sizeof(TerrainVertex));
        return fail(problem, true, too_large_for_memory(path, width, height, needs, left));
    }
    return image;
}
