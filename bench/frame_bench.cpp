// Frame speed. On the sample: the viewer's loop against the drawing floor (a
// bare loop that only clears, draws the cells that reach the window and
// flips), the time the viewer's own calls take, and resident memory over a
// long run. On large terrains (the sample's landscape, made wider): frames a
// second of the viewer's route (only the cells that can reach the window)
// against the whole-mesh route and against the same cells drawn from vertex
// buffers (the buffer route, forced whatever the renderer), measured in the
// same run at the same views, and the time the search for those cells takes;
// for the buffer route also the time to copy the whole mesh at once and the
// first frame with its pieces copied as they are seen.
// Needs an X display (Xvfb will do) and a sound output (ALSOFT_DRIVERS=null).
//
//   frame_bench SAMPLE.bmp [FRAMES] [--sides 1024,3160,9800] [--views 0:0,120:60,180:75]
//               [--table FILE]
//
// FRAMES (default 1500) sets the length of the sample's measurements. A side
// whose mesh the memory cannot hold is skipped with a note. --table writes one
// line a side and view: side yaw pitch whole_fps viewer_fps search_ms cells runs
// buffers_fps (-1 where the buffers were not measured).

#include <allegro5/allegro.h>
#include <allegro5/allegro_opengl.h>
#include <allegro5/allegro_primitives.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/build_progress.h"
#include "app/frame_loop.h"
#include "terrain/terrain_draw.h"
#include "heightmap/heightmap.h"
#include "heightmap/memory_budget.h"
#include "heightmap/size_policy.h"
#include "terrain/buffer_pieces.h"
#include "terrain/mesh_buffers.h"
#include "terrain/renderer_facts.h"
#include "terrain/terrain_mesh.h"
#include "terrain/visible_cells.h"
#include "bench_util.h"
#include "camera/camera.h"
#include "engine/console.h"
#include "engine/zeb.h"
#include "buffer_route.h"
#include "reference_draw.h"
#include "sample_landscape.h"

namespace {

struct Terrain {
    int side = 0;
    TerrainVertices vertices;
    CellBlocks blocks;
};

struct View {
    double yaw, pitch;
};

// The camera of the viewer's first frame, turned to `view`.
Camera camera_at(View view) {
    Camera camera;
    camera.set_fov(START_FOV);
    camera.yaw = view.yaw, camera.pitch = view.pitch;
    return camera;
}

// The drawing floor: what every frame must do whatever else it does.
void bare_frames(const Terrain& terrain, long frames) {
    Camera camera = camera_at({0, 0});
    ALLEGRO_TRANSFORM projection = camera.projection(), view = camera.view();
    std::vector<CellRun> runs;
    for (long i = 0; i < frames; i++) {
        al_clear_to_color(al_map_rgb(0, 0, 0));
        al_use_projection_transform(&projection);
        al_use_transform(&view);
        draw_visible_terrain(terrain.vertices, nullptr, terrain.blocks, view, projection, runs);
        al_flip_display();
    }
}

// The viewer's own loop at `view`, its angle lines sent to /dev/null. The
// pointer rests at the window's centre, so the camera holds still.
// With `buffers`, the vertices come from them where they hold them.
void viewer_frames(const Terrain& terrain, long frames, View view = {0, 0}, MeshBuffers* buffers = nullptr) {
    quietly([&] {
        Camera camera = camera_at(view);
        run_frame_loop(camera, terrain.vertices, terrain.blocks, frames, buffers);
    });
}

// The same loop with the whole mesh drawn each frame.
void whole_frames(const Terrain& terrain, long frames, View view) {
    Camera camera = camera_at(view);
    for (long i = 0; i < frames; i++) {
        al_clear_to_color(al_map_rgb(0, 0, 0));
        ALLEGRO_TRANSFORM projection = camera.projection(), view_transform = camera.view();
        al_use_projection_transform(&projection);
        al_use_transform(&view_transform);
        draw_whole_mesh(terrain.vertices);
        camera.update();
        al_flip_display();
    }
}

// The sample's landscape over side x side pixels.
ALLEGRO_BITMAP* landscape(int side) {
    ALLEGRO_BITMAP* image = al_create_bitmap(side, side);
    ALLEGRO_LOCKED_REGION* lock = al_lock_bitmap(image, ALLEGRO_PIXEL_FORMAT_ABGR_8888, ALLEGRO_LOCK_WRITEONLY);
    for (int r = 0; r < side; r++) {
        uint8_t* row = static_cast<uint8_t*>(lock->data) + ptrdiff_t(r) * lock->pitch;
        for (int c = 0; c < side; c++) {
            const uint8_t level = sample_level(c, r);
            row[4 * c] = row[4 * c + 1] = row[4 * c + 2] = level;
            row[4 * c + 3] = 255;
        }
    }
    al_unlock_bitmap(image);
    return image;
}

// Builds the mesh of `image` and its blocks; the seconds the blocks took.
double build(Terrain& terrain, ALLEGRO_BITMAP* image) {
    terrain.side = al_get_bitmap_width(image);
    const size_t rows = size_t(al_get_bitmap_height(image));
    quietly([&] { build_terrain_mesh(image, terrain.vertices); });
    const double seconds = seconds_of([&] { terrain.blocks = CellBlocks(terrain.vertices, size_t(terrain.side), rows); });
    if (!terrain.blocks.fits()) {
        fprintf(stderr, "frame_bench: the mesh is not %d x %zu cells\n", terrain.side, rows);
        exit(1);
    }
    return seconds;
}

// Frames a second of `frames_of` run for at least `seconds` and `least` frames.
double frames_per_second(const std::function<void(long)>& frames_of, double seconds, long least) {
    const double one = seconds_of([&] { frames_of(1); });
    const long frames = std::max(least, long(seconds / std::max(one, 1e-6)));
    return frames / seconds_of([&] { frames_of(frames); });
}

// --- the sample ---------------------------------------------------------------

// The viewer-only calls of a frame (the Escape test, the angle line, both
// transforms, the camera update), timed one by one inside frames that also
// clear, draw and flip. Seconds per frame.
double own_work_per_frame(const Terrain& terrain, long frames) {
    double own = 0;
    quietly([&] {
        Camera camera = camera_at({0, 0});
        mouse_center();
        std::vector<CellRun> runs;
        for (long i = 0; i < frames; i++) {
            ALLEGRO_TRANSFORM projection, view;
            own += seconds_of([&] {
                if (al_key_down(&keyboard_now, ALLEGRO_KEY_ESCAPE)) abort();
                console_print("yaw=%d, pitch=%d\n", int(camera.yaw), int(camera.pitch));
                projection = camera.projection();
                view = camera.view();
            });
            al_clear_to_color(al_map_rgb(0, 0, 0));
            al_use_projection_transform(&projection);
            al_use_transform(&view);
            draw_visible_terrain(terrain.vertices, nullptr, terrain.blocks, view, projection, runs);
            own += seconds_of([&] { camera.update(); });
            al_flip_display();
        }
    });
    return own / frames;
}

void compare_with_floor(const char* name, const Terrain& terrain, long frames) {
    constexpr int ROUNDS = 7;
    bare_frames(terrain, frames / 10);  // warm up
    // Interleaved rounds; the median ratio, as the machine's pace drifts.
    std::vector<double> ratios;
    double bare_best = 1e30, viewer_best = 1e30;
    for (int round = 0; round < ROUNDS; round++) {
        double bare = seconds_of([&] { bare_frames(terrain, frames); });
        double viewer = seconds_of([&] { viewer_frames(terrain, frames); });
        ratios.push_back(viewer / bare);
        bare_best = std::min(bare_best, bare);
        viewer_best = std::min(viewer_best, viewer);
    }
    std::sort(ratios.begin(), ratios.end());
    double median = ratios[ROUNDS / 2];
    double own = own_work_per_frame(terrain, frames);
    printf("  %-16s %9zu vertices | bare %7.1f fps | viewer %7.1f fps | viewer / bare time, median %+.1f %% "
           "(range %+.1f .. %+.1f %%) | viewer-only calls %6.1f us a frame = %.2f %% of the viewer's frame\n",
           name, terrain.vertices.size(), frames / bare_best, frames / viewer_best, (median - 1) * 100,
           (ratios.front() - 1) * 100, (ratios.back() - 1) * 100, own * 1e6, own / (viewer_best / frames) * 100);
}

void sample_section(ALLEGRO_BITMAP* sample, long frames) {
    Terrain sample_terrain, tiny;
    build(sample_terrain, sample);
    build(tiny, landscape(8));
    printf("frames per second at the start view, best of 7 interleaved runs of %ld frames each (800x600 window)\n",
           frames);
    char name[64];
    snprintf(name, sizeof name, "sample %dx%d", al_get_bitmap_width(sample), al_get_bitmap_height(sample));
    compare_with_floor(name, sample_terrain, frames);
    compare_with_floor("8x8", tiny, frames * 4);

    // A long run: the resident size after warming up against the end.
    const long long_run = frames * 40;
    viewer_frames(sample_terrain, frames);
    long before = status_kib("VmRSS:");
    viewer_frames(sample_terrain, long_run);
    long after = status_kib("VmRSS:");
    printf("resident memory over %ld more frames of the sample: %ld KiB before, %ld KiB after (%+ld KiB)\n\n",
           long_run, before, after, after - before);
}

// --- large terrains -----------------------------------------------------------

// Milliseconds one search for the cells that reach the window takes at `view`.
double search_ms(const Terrain& terrain, View view, std::vector<CellRun>& runs) {
    Camera camera = camera_at(view);
    const ALLEGRO_TRANSFORM projection = camera.projection(), view_transform = camera.view();
    long searches = 0;
    double spent = 0;
    for (; spent < 0.3 || searches < 5; searches++)
        spent += seconds_of([&] { terrain.blocks.visible_runs(clip_volume(view_transform, projection), runs); });
    return spent / searches * 1e3;
}

// The buffer route asked for a mesh of `mesh_bytes`, with what the driver
// tells of its room.
DrawRouteChoice buffers_asked_for(uint64_t mesh_bytes) {
    DrawRouteFacts facts;
    facts.setting = DrawRouteSetting::BUFFERS;
    facts.renderer = renderer_name();
    facts.free_video_bytes = free_video_bytes();
    facts.mesh_bytes = mesh_bytes;
    return choose_draw_route(facts);
}

// Copies every piece the allowance and the memory take at once, as that many
// frames would, each drawing a cell of its piece.
void copy_all(BufferRoute& route) {
    for (size_t piece = 0; piece < route.pieces.count(); piece++) {
        route.buffers.start_frame();
        route.buffers.draw(route.pieces.first_vertex(piece), VERTICES_PER_CELL);
    }
}

// Seconds one viewer frame at the start view takes with `buffers` (null:
// from memory), all drawing finished.
double first_frame_seconds(const Terrain& terrain, MeshBuffers* buffers) {
    glFinish();
    return seconds_of([&] {
        viewer_frames(terrain, 1, {0, 0}, buffers);
        glFinish();
    });
}

void large_section(const std::vector<int>& sides, const std::vector<View>& views, FILE* table) {
    const std::string renderer = renderer_name();
    const int64_t free_video = free_video_bytes();
    printf("large terrains (the sample's landscape), frames per second at each view: the whole mesh drawn every "
           "frame, the viewer's route (only the cells that can reach the window) from memory, and the same cells "
           "from vertex buffers, in the same run\n");
    printf("  renderer: %s; free video memory: %s\n", renderer.c_str(),
           free_video < 0 ? "not told" : byte_amount(uint64_t(free_video)).c_str());
    printf("  %-11s %-16s %10s %10s %9s %10s %12s %7s %11s %9s\n", "image", "view", "whole fps", "viewer fps",
           "speed-up", "search ms", "cells drawn", "runs", "buffers fps", "vs viewer");
    for (int side : sides) {
        const MeshSize size = mesh_size(side, side);
        const uint64_t needed = heightmap_bytes(side, side);
        const MemoryLimit limit = memory_budget();
        if (needed > limit.spare) {
            printf("  %dx%-6d skipped: its mesh and image need %s, and %s can be spared %s\n", side, side,
                   byte_amount(needed).c_str(), byte_amount(limit.spare).c_str(), limit.name.c_str());
            continue;
        }
        Terrain terrain;
        double blocks_seconds = 0;
        const double built = seconds_of([&] {
            ALLEGRO_BITMAP* image = landscape(side);
            blocks_seconds = build(terrain, image);
            al_destroy_bitmap(image);
        });
        // On a software renderer the buffers are a second copy in system memory.
        const bool second_copy = software_renderer(renderer);
        std::unique_ptr<BufferRoute> buffers;
        if (second_copy && needed + size.bytes > limit.spare) {
            printf("  %dx%-6d buffers skipped: a second copy of the mesh in system memory would need %s more\n",
                   side, side, byte_amount(size.bytes).c_str());
        } else {
            // The first frame with its pieces copied as they are seen, against
            // today's; then every piece copied at once, and what the copies
            // took out of the process's memory.
            const double from_memory = first_frame_seconds(terrain, nullptr);
            const DrawRouteChoice choice = buffers_asked_for(size.bytes);
            buffers = std::make_unique<BufferRoute>(terrain.vertices, choice.buffer_bytes, PIECE_CELLS,
                                                    PIECE_COPIES_A_FRAME, [] { return memory_budget().spare; });
            const double as_seen = first_frame_seconds(terrain, &buffers->buffers);
            const size_t first_pieces = buffers->held();
            const uint64_t first_bytes = buffers->held_bytes();
            const long size_before = status_kib("VmSize:"), resident_before = status_kib("VmRSS:");
            glFinish();
            const double at_once = seconds_of([&] {
                copy_all(*buffers);
                glFinish();
            });
            const double copied = double(std::max<uint64_t>(buffers->held_bytes() - first_bytes, 1)) / 1024;
            printf("  %dx%-6d buffers: first frame at the start view %.1f ms from memory, %.1f ms copying the %zu "
                   "pieces it sees; then %zu of %zu pieces (%s) copied in %.2f s more (%s), taking %.3f bytes of "
                   "address space and %.3f resident a byte\n",
                   side, side, from_memory * 1e3, as_seen * 1e3, first_pieces, buffers->held(),
                   buffers->pieces.count(), byte_amount(buffers->held_bytes()).c_str(), at_once, choice.reason,
                   (status_kib("VmSize:") - size_before) / copied, (status_kib("VmRSS:") - resident_before) / copied);
            if (buffers->held() == 0) buffers.reset();
        }
        for (const View& view : views) {
            std::vector<CellRun> runs;
            const double search = search_ms(terrain, view, runs);
            size_t cells = 0;
            for (const CellRun& run : runs) cells += run.count;
            const double whole = frames_per_second([&](long n) { whole_frames(terrain, n, view); }, 3, 2);
            // Memory and buffers in turns of a second, the best of three
            // each: the machine's pace drifts.
            double viewer = 0, from_buffers = -1;
            const int turns = buffers ? 3 : 1;
            for (int turn = 0; turn < turns; turn++) {
                viewer = std::max(
                    viewer, frames_per_second([&](long n) { viewer_frames(terrain, n, view); }, 3.0 / turns, 5));
                if (buffers)
                    from_buffers = std::max(from_buffers, frames_per_second([&](long n) {
                                                viewer_frames(terrain, n, view, &buffers->buffers);
                                            }, 1, 5));
            }
            char image_name[32], view_name[64];
            snprintf(image_name, sizeof image_name, "%dx%d", side, side);
            snprintf(view_name, sizeof view_name, "yaw %g, pitch %g", view.yaw, view.pitch);
            printf("  %-11s %-16s %10.2f %10.1f %8.1fx %10.3f %12zu %7zu %11.1f %8.2fx\n", image_name, view_name,
                   whole, viewer, viewer / whole, search, cells, runs.size(), from_buffers, from_buffers / viewer);
            if (table)
                fprintf(table, "%d %g %g %.4f %.4f %.4f %zu %zu %.4f\n", side, view.yaw, view.pitch, whole, viewer,
                        search, cells, runs.size(), from_buffers);
            fflush(stdout);
        }
        printf("  %-11s mesh %s built in %.1f s, its blocks in %.2f s of that; they take %s, %.3f %% of the "
               "mesh\n", "",
               byte_amount(size.bytes).c_str(), built, blocks_seconds, byte_amount(terrain.blocks.bytes()).c_str(),
               100.0 * terrain.blocks.bytes() / size.bytes);
    }
}

std::vector<int> sides_of(const char* list) {
    std::vector<int> sides;
    for (const char* at = list; *at;) {
        sides.push_back(atoi(at));
        at = strchr(at, ',');
        if (!at) break;
        at++;
    }
    return sides;
}

std::vector<View> views_of(const char* list) {
    std::vector<View> views;
    for (const char* at = list; at && *at;) {
        View view{};
        if (sscanf(at, "%lf:%lf", &view.yaw, &view.pitch) == 2) views.push_back(view);
        at = strchr(at, ',');
        if (at) at++;
    }
    return views;
}

}  // namespace

// What the window's screen during a mesh build costs the thread that draws
// it, which fills the mesh too: a redraw of the bar and an input poll each
// take their time at the rates the build's watch keeps.
void progress_section() {
    const int redraws = 50;
    const double redraw = seconds_of([] {
        for (int i = 0; i < redraws; i++) draw_build_progress(i, redraws);
    }) / redraws;
    const double poll = seconds_of([] {
        for (int i = 0; i < redraws; i++) input_poll();
    }) / redraws;
    const double share = redraw / PROGRESS_REDRAW_SECONDS + poll / MESH_WATCH_SECONDS;
    printf("mesh build's screen: a redraw %.2f ms, an input poll %.3f ms; at %.0f redraws and %.0f polls a second, "
           "%.2f %% of the drawing thread's time (goal: under 2 %%)\n\n",
           redraw * 1e3, poll * 1e3, 1 / PROGRESS_REDRAW_SECONDS, 1 / MESH_WATCH_SECONDS, 100 * share);
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s SAMPLE.bmp [FRAMES] [--sides 1024,3160,9800] [--views 0:0,120:60,180:75] "
                        "[--table FILE]\n", argv[0]);
        return 2;
    }
    long frames = 1500;
    std::vector<int> sides = {1024, 3160, 9800};
    std::vector<View> views = {{0, 0}, {120, 60}, {180, 75}};
    FILE* table = nullptr;
    for (int i = 2; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--sides" && i + 1 < argc) {
            sides = sides_of(argv[++i]);
        } else if (arg == "--views" && i + 1 < argc) {
            views = views_of(argv[++i]);
        } else if (arg == "--table" && i + 1 < argc) {
            table = fopen(argv[++i], "w");
            if (!table) {
                fprintf(stderr, "frame_bench: cannot write %s\n", argv[i]);
                return 1;
            }
        } else {
            frames = atol(argv[i]);
        }
    }
    if (!platform_init() || !set_video_mode(800, 600, VIDEO_MODE_MEMORY_BITMAPS)) return 1;
    printf("\n");
    ALLEGRO_BITMAP* sample = al_load_bitmap(argv[1]);
    if (!sample) {
        fprintf(stderr, "frame_bench: cannot load %s\n", argv[1]);
        return 1;
    }
    progress_section();
    if (frames > 0) sample_section(sample, frames);
    large_section(sides, views, table);
    if (table) fclose(table);
    return 0;
}
