// libFuzzer target: each input is the contents of hmap.bmp, taken along the
// viewer's own path: the checks before decoding, the library's decoder, the
// size check after it, and the mesh build. The memory an image may take is
// kept small, so every input stays quick and a lying size is refused.
#include <allegro5/allegro.h>
#include <allegro5/allegro_image.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/heightmap.h"
#include "app/terrain_mesh.h"

namespace {

// Images up to about 300000 pixels: their mesh and decoded pixels.
constexpr uint64_t FUZZ_SPARE = uint64_t(64) << 20;

std::string image_path;  // on a memory file system; named .bmp as the viewer's is

bool write_image(const uint8_t* data, size_t size) {
    FILE* file = fopen(image_path.c_str(), "wb");
    if (!file) return false;
    const bool written = fwrite(data, 1, size, file) == size;
    return fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!al_init() || !al_init_image_addon()) abort();
    al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP);  // as the viewer's video mode sets it
    // The mesh prints a line per row.
    if (!freopen("/dev/null", "w", stdout)) abort();
    image_path = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/heightmap-fuzz-") +
                 std::to_string(getpid()) + ".bmp";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!write_image(data, size)) abort();
    HeightmapProblem problem;
    ALLEGRO_BITMAP* image = load_heightmap(image_path.c_str(), problem, fixed_memory_budget(FUZZ_SPARE));
    if (!image) return 0;
    std::vector<TerrainVertex> mesh;
    build_terrain_mesh(image, mesh);
    if (mesh.size() != mesh_size(al_get_bitmap_width(image), al_get_bitmap_height(image)).vertices) abort();
    al_destroy_bitmap(image);
    return 0;
}
