#include "app/heightmap.h"

#include <allegro5/allegro_image.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/bmp_header.h"
#include "app/saturating.h"

ALLEGRO_BITMAP* heightmap = nullptr;

namespace {

constexpr uint64_t MIN_FREE_BYTES = uint64_t(512) << 20;
const char* const NOT_AN_IMAGE = "not an image the library can read (unreadable, empty, truncated or corrupt)";

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    char text[1024];
    va_list args;
    va_start(args, pattern);
    vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

// A byte count for people: "31.7 GB", "412 MB".
std::string amount(uint64_t bytes) {
    return bytes >= 1000000000 ? format("%.1f GB", bytes / 1e9) : format("%.0f MB", bytes / 1e6);
}

uint64_t meminfo_available() {
    FILE* meminfo = fopen("/proc/meminfo", "r");
    if (!meminfo) return 0;
    char line[256];
    unsigned long long kib = 0;
    while (fgets(line, sizeof line, meminfo)) {
        if (sscanf(line, "MemAvailable: %llu kB", &kib) == 1) break;
    }
    fclose(meminfo);
    return saturating_product(kib, 1024);
}

// What a file that is neither regular nor a folder is, in a few words.
const char* kind_of(mode_t mode) {
    if (S_ISFIFO(mode)) return "a named pipe";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "something other than a file";
}

// A file's bytes in order from `offset`, read a block at a time; -1 after the last.
class FileBytes {
public:
    FileBytes(int fd, uint64_t offset) : fd_(fd), offset_(offset), block_(1 << 16) {}
    int operator()() {
        if (at_ == filled_) {
            ssize_t n;
            do n = pread(fd_, block_.data(), block_.size(), off_t(offset_));
            while (n < 0 && errno == EINTR);
            if (n <= 0) return -1;
            offset_ += uint64_t(n);
            filled_ = size_t(n);
            at_ = 0;
        }
        return block_[at_++];
    }

private:
    int fd_;
    uint64_t offset_;
    std::vector<uint8_t> block_;
    size_t filled_ = 0, at_ = 0;
};

// Why the header of the open file `name` rules it out before it is decoded:
// it promises more than the file holds, or an image too large for this
// machine. "" when it does not, or when it is not a BMP header this viewer
// reads (the library then decides).
std::string header_problem(int fd, uint64_t file_size, const char* name, uint64_t spare) {
    uint8_t bytes[BMP_HEADER_BYTES];
    const ssize_t read = pread(fd, bytes, sizeof bytes, 0);
    BmpHeader header;
    if (read <= 0 || !read_bmp_header(bytes, size_t(read), header)) return "";
    // Cheap checks first: the length of raw pixels, then the size.
    if (header.pixels == BmpPixels::raw) {
        const uint64_t needed = bmp_bytes_needed(header);
        if (file_size < needed)
            return format("%s holds %llu bytes, but its header promises a %lld x %lld %d-bit image, which needs "
                          "%llu bytes: the file is cut short or corrupt",
                          name, (unsigned long long)file_size, (long long)header.width, (long long)header.height,
                          header.bits_per_pixel, (unsigned long long)needed);
    }
    std::string too_large = heightmap_size_problem(name, header.width, header.height, spare);
    if (!too_large.empty()) return too_large;
    if (header.pixels != BmpPixels::raw && !bmp_rle_complete(header, FileBytes(fd, header.data_offset)))
        return format("%s ends inside its compressed pixels (%llu bytes), before the %lld x %lld image its "
                      "header promises: the file is cut short or corrupt",
                      name, (unsigned long long)file_size, (long long)header.width, (long long)header.height);
    return "";
}

// Decodes the open file as al_load_bitmap decodes a named one: by the kind
// its contents tell, else by the name's extension. Closes the file.
ALLEGRO_BITMAP* decode(int fd, const char* path) {
    ALLEGRO_FILE* file = al_fopen_fd(fd, "rb");
    if (!file) {
        close(fd);
        return nullptr;
    }
    const char* kind = al_identify_bitmap_f(file);
    if (!kind) kind = strrchr(path, '.');
    ALLEGRO_BITMAP* image = kind ? al_load_bitmap_f(file, kind) : nullptr;
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

uint64_t heightmap_bytes(int64_t width, int64_t height) {
    const MeshSize mesh = mesh_size(width, height);
    return saturating_sum(mesh.bytes, saturating_product(mesh.cells, DECODED_BYTES_PER_PIXEL));
}

uint64_t memory_to_spare(uint64_t available) {
    const uint64_t kept = std::max(available / 8, MIN_FREE_BYTES);
    return available > kept ? available - kept : 0;
}

uint64_t memory_available() {
    const uint64_t physical = uint64_t(sysconf(_SC_PHYS_PAGES)) * uint64_t(sysconf(_SC_PAGESIZE));
    const uint64_t available = meminfo_available();
    return available > 0 ? std::min(available, physical) : physical;
}

std::string heightmap_size_problem(const char* name, int64_t width, int64_t height, uint64_t spare) {
    // No columns, so no cells and no memory, but still a progress line a
    // row: no more rows than an image one pixel wide may have.
    if (width == 0 && heightmap_bytes(1, height) > spare)
        return format("%s is 0 x %lld pixels: it holds no terrain, yet has more rows than an image one pixel wide "
                      "could have here (%s can be spared, %llu bytes a pixel)",
                      name, (long long)height, amount(spare).c_str(), (unsigned long long)BYTES_PER_PIXEL);
    const uint64_t needed = heightmap_bytes(width, height);
    if (needed > spare)
        return format("%s is %lld x %lld pixels, too large for the memory here: its terrain needs %s "
                      "(%llu bytes a pixel for the mesh and the decoded image), and %s can be spared",
                      name, (long long)width, (long long)height, amount(needed).c_str(),
                      (unsigned long long)BYTES_PER_PIXEL, amount(spare).c_str());
    if (saturating_product(uint64_t(width), uint64_t(height)) > LIBRARY_MAX_PIXELS)
        return format("%s is %lld x %lld pixels, too large for the image library: it holds at most %llu pixels "
                      "in one image",
                      name, (long long)width, (long long)height, (unsigned long long)LIBRARY_MAX_PIXELS);
    return "";
}

ALLEGRO_BITMAP* load_heightmap(const char* path, HeightmapProblem& problem, uint64_t spare) {
    // Non-blocking, so a named pipe with no writer cannot hold the open up.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(problem, false,
                    errno == ENOENT ? "no such file in the working directory"
                                    : format("the file cannot be opened (%s)", strerror(errno)));
    struct stat info;
    if (fstat(fd, &info) != 0) return fail(problem, false, "the file cannot be reached", fd);
    if (S_ISDIR(info.st_mode)) return fail(problem, false, "it is a folder, not an image", fd);
    if (!S_ISREG(info.st_mode))
        return fail(problem, true, format("%s is %s, not a regular file", path, kind_of(info.st_mode)), fd);
    if (!al_is_image_addon_initialized()) return fail(problem, false, "the image add-on is not running", fd);

    std::string why = header_problem(fd, uint64_t(info.st_size), path, spare);
    if (!why.empty()) return fail(problem, true, why, fd);
    ALLEGRO_BITMAP* image = decode(fd, path);
    if (!image) return fail(problem, false, NOT_AN_IMAGE);

    // Again with the size the library decoded, whatever the format.
    why = heightmap_size_problem(path, al_get_bitmap_width(image), al_get_bitmap_height(image), spare);
    if (!why.empty()) {
        al_destroy_bitmap(image);
        return fail(problem, true, why);
    }
    return image;
}
