// The terrain mesh: every pixel of the height image is the corner of a grid
// cell, and every cell two coloured triangles, six vertices, in one flat list
// whose order is the order they are painted in.
#pragma once

#include <allegro5/allegro.h>
#include <allegro5/allegro_primitives.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <utility>
#include <vector>

using TerrainVertex = ALLEGRO_VERTEX;

// The mesh's storage: a std::vector whose elements, once resized, are left
// unset until the build writes them, once, on every core. (Zeroed first, each
// byte would be written twice, and the first time by one thread alone.)
template <typename T>
struct MeshAllocator {
    using value_type = T;
    MeshAllocator() = default;
    template <typename U>
    MeshAllocator(const MeshAllocator<U>&) {}
    T* allocate(size_t count) { return static_cast<T*>(::operator new(count * sizeof(T))); }
    void deallocate(T* block, size_t) { ::operator delete(block); }
    template <typename U>
    void construct(U* at) { ::new (static_cast<void*>(at)) U; }  // unset, not zeroed
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) { ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...); }
    template <typename U>
    bool operator==(const MeshAllocator<U>&) const { return true; }
    template <typename U>
    bool operator!=(const MeshAllocator<U>&) const { return false; }
};
using TerrainVertices = std::vector<TerrainVertex, MeshAllocator<TerrainVertex>>;

constexpr int GRID_OFFSET = 20;   // a pixel's column and row, less this, give its world x and z
constexpr int HEIGHT_BASE = 156;  // the sample that lands at height 0
constexpr int SHADE_CAP = 50;     // the brightest green level; higher samples share it
constexpr int VERTICES_PER_CELL = 6;

// What the mesh of a width x height image (pixels) takes; counts too large
// for 64 bits read as the largest 64-bit value.
struct MeshSize {
    uint64_t cells;  // one a pixel
    uint64_t vertices;
    uint64_t bytes;
};
MeshSize mesh_size(int64_t width, int64_t height);

// How often the build asks whether it may go on: every this many bytes of
// mesh handed out to fill. Reserved memory costs nothing until it is filled,
// so a neighbour (another viewer, say) may take it meanwhile. Well under the
// 192 MiB the memory budget keeps free under a cgroup's limit: two builds
// that each passed their last check cannot overrun it before the next.
constexpr uint64_t MESH_CHECK_BYTES = uint64_t(64) << 20;

// Asked before the first cell and each time another MESH_CHECK_BYTES of mesh
// is handed out to fill, with the bytes of mesh not yet filled: false stops
// the build there. Asked on whichever of the build's threads reaches that
// point, never on two at once.
using MeshBuildCheck = std::function<bool(uint64_t bytes_left)>;

// Told on the calling thread every MESH_WATCH_SECONDS while the build runs,
// with the image rows done of all `rows`: false cancels the build.
using MeshBuildWatch = std::function<bool(int rows_done, int rows)>;
constexpr double MESH_WATCH_SECONDS = 0.1;

// Told of the mesh's cells first to first + count - 1 (numbered row by row)
// once they are filled, on the thread that filled them: several threads at
// once, for different cells.
using MeshBuildFilled = std::function<void(uint64_t first, uint64_t count)>;

struct MeshBuildOptions {
    MeshBuildCheck check;    // none: the memory is taken to stay there
    MeshBuildWatch watch;    // none: the build runs to its end
    MeshBuildFilled filled;  // none: nobody is told
    int threads = 0;         // threads that fill, the calling one included; 0: mesh_build_threads()
};

// How many threads fill the mesh: every core this process may use, up to 16,
// so a large machine does not start dozens for work bound by its memory.
int mesh_build_threads();

// Appends the mesh of `image` to `vertices`, one "Creating hmap: scanline i/H"
// line per image row, in row order, each once its row is filled (printed by
// the calling thread). The array is reserved once, for exactly the mesh: the
// caller makes sure the memory is there (the height image's size check), and
// `options.check` that it stays there. Rows are filled on several threads
// where the image can be read from several at once (it locks), on the
// calling thread alone where it cannot or where no other thread can start;
// the mesh is the same, byte for byte, either way. Returns false when the
// check stopped the build or the watch cancelled it: `vertices` is then empty
// and its memory given back.
//
// Each corner of a cell sits at world x = column - 20, z = row - 20,
// y = sample - 156, with green min(sample, 50) / 255. Samples are the
// blue level of each pixel (the grey level of a grey image) and 0 past the
// right and bottom edges. u and v hold the corner's column and row in pixels,
// so the height image itself, laid on as a texture, would line up with it.
bool build_terrain_mesh(ALLEGRO_BITMAP* image, TerrainVertices& vertices, const MeshBuildOptions& options = {});
