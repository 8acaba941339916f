// Builds the terrain mesh. Each pixel is read from the locked image and its
// height and colour come from tables made once for the 256 samples; the
// whole array is sized up front and filled while the memory lasts, its rows
// on every core. The result is the same, byte for byte, as reading four
// pixels per cell and mapping each vertex colour anew, row after row.

#include "terrain/terrain_mesh.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "engine/console.h"
#include "engine/saturating.h"
#include "engine/worker_threads.h"
#include "terrain/mesh_schedule.h"

namespace {

constexpr int MOST_BUILD_THREADS = 16;

struct SampleTables {
    float height[256];
    ALLEGRO_COLOR shade[256];
    unsigned char level_of_blue[256];  // the sample of a pixel of 8-bit blue level b
};

// The sample of a pixel: its colour unmapped into one byte for red, green and
// blue alike, so blue, written last, is what stays.
unsigned char sample_of(ALLEGRO_COLOR colour) {
    unsigned char level;
    al_unmap_rgb(colour, &level, &level, &level);
    return level;
}

SampleTables make_sample_tables() {
    SampleTables tables;
    for (int s = 0; s < 256; s++) {
        tables.height[s] = static_cast<float>(s - HEIGHT_BASE);
        tables.shade[s] = al_map_rgb(0, static_cast<unsigned char>(std::min(s, SHADE_CAP)), 0);
        tables.level_of_blue[s] = sample_of(al_map_rgb(0, 0, static_cast<unsigned char>(s)));
    }
    return tables;
}

// What the threads filling the mesh share; they only read it, but for the
// cells each writes.
struct MeshJob {
    ALLEGRO_BITMAP* image;
    int width, height;
    SampleTables tables;
    TerrainVertex* mesh;  // the first cell's first vertex
    // Where the locked image keeps blue in eight bits of each 32-bit pixel,
    // as the image add-on decodes every BMP: read there, through the sample
    // that al_get_pixel and al_unmap_rgb make of each blue level. Elsewhere
    // (blue_shift -1) each pixel goes through the library.
    const ALLEGRO_LOCKED_REGION* lock;
    int blue_shift;
};

// The bit where blue starts in the 32-bit pixels of `format`; -1 for a
// format of another kind.
int blue_shift(int format) {
    switch (format) {
        case ALLEGRO_PIXEL_FORMAT_ARGB_8888:
        case ALLEGRO_PIXEL_FORMAT_XRGB_8888: return 0;
        case ALLEGRO_PIXEL_FORMAT_RGBA_8888:
        case ALLEGRO_PIXEL_FORMAT_RGBX_8888: return 8;
        case ALLEGRO_PIXEL_FORMAT_ABGR_8888:
        case ALLEGRO_PIXEL_FORMAT_XBGR_8888: return 16;
        default: return -1;
    }
}

// The samples of one row at columns first to end (the one past the right
// edge 0); a row past the bottom is all 0.
void read_samples(const MeshJob& job, int row, int first, int end, unsigned char* samples) {
    if (row >= job.height) {
        memset(samples, 0, size_t(end - first) + 1);
        return;
    }
    const int inside = std::min(end, job.width - 1);
    if (job.blue_shift >= 0) {
        const auto* pixels = reinterpret_cast<const uint32_t*>(static_cast<const char*>(job.lock->data) +
                                                               ptrdiff_t(row) * job.lock->pitch);
        for (int column = first; column <= inside; column++)
            samples[column - first] = job.tables.level_of_blue[pixels[column] >> job.blue_shift & 0xFF];
    } else {
        for (int column = first; column <= inside; column++)
            samples[column - first] = sample_of(al_get_pixel(job.image, column, row));
    }
    if (end == job.width) samples[end - first] = 0;
}

// One thread's two rows of samples: the top and bottom corners of a row of
// cells, kept so the next row's top is this one's bottom.
struct SampleRows {
    std::vector<unsigned char> top, bottom;
    int bottom_row = -1, first = 0, end = 0;  // what `bottom` holds: its row, columns first to end
};

// Faults the fresh pages of vertices first to first + count - 1 in with one
// call instead of a fault a page: some 10 % less time for the build. A
// kernel before 5.14 refuses, and the writes fault them in as before.
void fault_in(TerrainVertex* first, uint64_t count) {
#ifdef MADV_POPULATE_WRITE
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t start = uintptr_t(first) / page * page, end = uintptr_t(first + count) / page * page;
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#endif
}

// Fills the cells of `piece`, row by row.
void fill_piece(const MeshJob& job, MeshPiece piece, SampleRows& rows) {
    fault_in(job.mesh + piece.first * VERTICES_PER_CELL, (piece.end - piece.first) * VERTICES_PER_CELL);
    const SampleTables& tables = job.tables;
    const uint64_t width = uint64_t(job.width);
    for (uint64_t cell = piece.first; cell < piece.end;) {
        const int i = int(cell / width), first = int(cell % width);
        const int end = int(std::min<uint64_t>(width, first + (piece.end - cell)));
        if (rows.bottom_row == i && rows.first == first && rows.end == end) {
            rows.top.swap(rows.bottom);
        } else {
            rows.top.resize(size_t(end - first) + 1);
            read_samples(job, i, first, end, rows.top.data());
        }
        rows.bottom.resize(size_t(end - first) + 1);
        read_samples(job, i + 1, first, end, rows.bottom.data());
        rows.bottom_row = i + 1, rows.first = first, rows.end = end;

        const unsigned char* top = rows.top.data() - first;
        const unsigned char* bottom = rows.bottom.data() - first;
        const float z0 = float(i - GRID_OFFSET), z1 = float(i + 1 - GRID_OFFSET);
        const float v0 = float(i), v1 = float(i + 1);
        TerrainVertex* out = job.mesh + cell * VERTICES_PER_CELL;
        for (int j = first; j < end; j++, out += VERTICES_PER_CELL) {
            const unsigned char h00 = top[j], h01 = bottom[j], h10 = top[j + 1], h11 = bottom[j + 1];
            const float x0 = float(j - GRID_OFFSET), x1 = float(j + 1 - GRID_OFFSET);
            const float u0 = float(j), u1 = float(j + 1);
            // Triangles (00, 01, 10) and (01, 10, 11): the shared edge repeated.
            out[0] = {x0, tables.height[h00], z0, u0, v0, tables.shade[h00]};
            out[1] = {x0, tables.height[h01], z1, u0, v1, tables.shade[h01]};
            out[2] = {x1, tables.height[h10], z0, u1, v0, tables.shade[h10]};
            out[3] = out[1];
            out[4] = out[2];
            out[5] = {x1, tables.height[h11], z1, u1, v1, tables.shade[h11]};
        }
        cell += uint64_t(end - first);
    }
}

// Prints the progress lines of rows `printed` to `done` - 1.
void print_rows(int& printed, uint64_t done, int height) {
    for (; printed < int(done); printed++) console_print("Creating hmap: scanline %d/%d\n", printed, height);
}

}  // namespace

int mesh_build_threads() { return std::min(usable_cores(), MOST_BUILD_THREADS); }

MeshSize mesh_size(int64_t width, int64_t height) {
    const uint64_t cells = saturating_product(uint64_t(std::max<int64_t>(width, 0)),
                                              uint64_t(std::max<int64_t>(height, 0)));
    return {cells, saturating_product(cells, VERTICES_PER_CELL),
            saturating_product(cells, uint64_t(VERTICES_PER_CELL) * sizeof(TerrainVertex))};
}

bool build_terrain_mesh(ALLEGRO_BITMAP* image, TerrainVertices& vertices, const MeshBuildOptions& options) {
    const int width = al_get_bitmap_width(image);
    const int height = al_get_bitmap_height(image);
    const MeshSize size = mesh_size(width, height);
    int printed = 0;
    // No rows: nothing to build and nothing to print, however wide. Rows of
    // no pixels: a line each, nothing to fill.
    if (height <= 0) return true;
    if (width <= 0) {
        print_rows(printed, uint64_t(height), height);
        return true;
    }

    const size_t start = vertices.size();
    vertices.reserve(start + size.vertices);
    vertices.resize(start + size.vertices);  // left unset: each cell is written once, below
    // Locked once, so each read below is a plain memory read that any thread
    // may make; should the lock fail, al_get_pixel locks the image for each
    // pixel itself, which only one thread at a time may do.
    ALLEGRO_LOCKED_REGION* lock = al_lock_bitmap(image, ALLEGRO_PIXEL_FORMAT_ANY, ALLEGRO_LOCK_READONLY);
    const int threads = lock ? (options.threads > 0 ? options.threads : mesh_build_threads()) : 1;
    const MeshJob job{image, width, height, make_sample_tables(), vertices.data() + start, lock,
                      lock ? blue_shift(lock->format) : -1};
    MeshSchedule schedule(uint64_t(width), uint64_t(height), threads, options.check);
    const auto fill = [&](int slot, MeshPiece piece, SampleRows& rows) {
        fill_piece(job, piece, rows);
        if (options.filled) options.filled(piece.first, piece.end - piece.first);
        schedule.filled(slot);
    };

    WorkerThreads others(threads, [&](int slot) {
        SampleRows rows;
        for (MeshPiece piece; schedule.take(slot, piece);) fill(slot, piece, rows);
    });
    // This thread fills too, and between its pieces prints the rows done and
    // tells the watch.
    using Clock = MeshSchedule::Clock;
    const auto watch_every = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(MESH_WATCH_SECONDS));
    Clock::time_point next_watch = options.watch ? Clock::now() + watch_every : Clock::time_point::max();
    SampleRows rows;
    for (;;) {
        if (Clock::now() >= next_watch) {
            print_rows(printed, schedule.progress().rows_done, height);
            if (!options.watch(printed, height)) schedule.cancel();
            next_watch = Clock::now() + watch_every;
        }
        MeshPiece piece;
        const bool took = schedule.take(0, piece, next_watch);
        if (took) fill(0, piece, rows);
        const MeshSchedule::Progress progress = schedule.progress();
        print_rows(printed, progress.rows_done, height);
        if (progress.over) break;
        // Nothing to take: the rest is being filled, or checked, elsewhere.
        if (!took) schedule.wait(progress.filled, next_watch);
    }
    others.join();
    if (lock) al_unlock_bitmap(image);
    const MeshSchedule::Progress end = schedule.progress();
    if (end.filled == size.cells) return true;
    TerrainVertices().swap(vertices);
    return false;
}
