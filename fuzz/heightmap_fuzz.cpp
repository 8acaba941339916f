// libFuzzer target: each input is the contents of hmap.bmp, taken along the
// viewer's own path: the checks before decoding, the library's decoder, the
// size check after it, and the mesh build. The memory an image may take is
// kept small, so every input stays quick and a lying size is refused. The
// library is a copy built with the same sanitizers (fuzz/CMakeLists.txt).
#include <allegro5/allegro.h>
#include <allegro5/allegro_image.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "heightmap/heightmap.h"
#include "terrain/terrain_mesh.h"

namespace {

// Images up to about 300000 pixels: their mesh and decoded pixels.
constexpr uint64_t FUZZ_SPARE = uint64_t(64) << 20;

// The input's file: a memory file that has no name in any folder, so it goes
// with the process however the process ends. The loader opens it by path,
// as any other, through /proc/self/fd. The path has no .bmp ending, which
// costs nothing: the loader names the BMP decoder itself.
int image_fd = -1;
std::string image_path;

bool write_image(const uint8_t* data, size_t size) {
    if (ftruncate(image_fd, 0) != 0) return false;
    for (size_t done = 0; done < size;) {
        const ssize_t n = pwrite(image_fd, data + done, size - done, off_t(done));
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!al_init() || !al_init_image_addon()) abort();
    al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);  // as the viewer's video mode sets it
    // The mesh prints a line per row.
    if (!freopen("/dev/null", "w", stdout)) abort();
    image_fd = memfd_create("hmap.bmp", MFD_CLOEXEC);
    if (image_fd < 0) abort();
    image_path = "/proc/self/fd/" + std::to_string(image_fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!write_image(data, size)) abort();
    HeightmapProblem problem;
    const MemoryBudget spare = [] { return MemoryLimit{FUZZ_SPARE, "for the height image"}; };
    ALLEGRO_BITMAP* image = load_heightmap(image_path.c_str(), problem, spare);
    if (!image) return 0;
    TerrainVertices mesh;
    build_terrain_mesh(image, mesh);
    if (mesh.size() != mesh_size(al_get_bitmap_width(image), al_get_bitmap_height(image)).vertices) abort();
    al_destroy_bitmap(image);
    return 0;
}
