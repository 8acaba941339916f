// Frame speed of the viewer against the drawing floor: a bare loop that only
// clears, draws the same vertex array with the same transforms and flips.
// Needs an X display (Xvfb will do) and a sound output (ALSOFT_DRIVERS=null).
//
//   frame_bench SAMPLE.bmp [frames]     (default 1500 frames a measurement)

#include <allegro5/allegro.h>
#include <allegro5/allegro_primitives.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "app/frame_loop.h"
#include "app/terrain_mesh.h"
#include "bench_util.h"
#include "camera/camera.h"
#include "engine/console.h"
#include "engine/zeb.h"

namespace {

long resident_kib() {
    FILE* status = fopen("/proc/self/status", "r");
    char line[256];
    long kib = -1;
    while (status && fgets(line, sizeof line, status))
        if (strncmp(line, "VmRSS:", 6) == 0) kib = atol(line + 6);
    if (status) fclose(status);
    return kib;
}

// The drawing floor: what every frame must do whatever else it does.
void bare_frames(const std::vector<TerrainVertex>& vertices, long frames) {
    Camera camera;
    camera.set_fov(START_FOV);
    ALLEGRO_TRANSFORM projection = camera.projection(), view = camera.view();
    for (long i = 0; i < frames; i++) {
        al_clear_to_color(al_map_rgb(0, 0, 0));
        al_use_projection_transform(&projection);
        al_use_transform(&view);
        al_draw_prim(vertices.data(), nullptr, nullptr, 0, int(vertices.size()), ALLEGRO_PRIM_TRIANGLE_LIST);
        al_flip_display();
    }
}

// The viewer's own loop, its angle lines sent to /dev/null.
void viewer_frames(const std::vector<TerrainVertex>& vertices, long frames) {
    quietly([&] {
        Camera camera;
        // Every mesh here is square.
        const size_t side = size_t(std::lround(std::sqrt(double(vertices.size() / VERTICES_PER_CELL))));
        run_frame_loop(camera, vertices, CellBlocks(vertices, side), frames);
    });
}

ALLEGRO_BITMAP* rolling_image(int side) {
    ALLEGRO_BITMAP* image = al_create_bitmap(side, side);
    al_lock_bitmap(image, ALLEGRO_PIXEL_FORMAT_ANY, ALLEGRO_LOCK_WRITEONLY);
    al_set_target_bitmap(image);
    for (int r = 0; r < side; r++)
        for (int c = 0; c < side; c++) {
            unsigned char level = (c * 3 + r * 5 + (c * r) / 97) & 0xFF;
            al_put_pixel(c, r, al_map_rgb(level, level, level));
        }
    al_unlock_bitmap(image);
    al_set_target_backbuffer(display);
    return image;
}

void mesh_of(ALLEGRO_BITMAP* image, std::vector<TerrainVertex>& vertices) {
    quietly([&] { build_terrain_mesh(image, vertices); });
}

// The viewer-only calls of a frame (the Escape test, the angle line, both
// transforms, the camera update), timed one by one inside frames that also
// clear, draw and flip. Seconds per frame.
double own_work_per_frame(const std::vector<TerrainVertex>& vertices, long frames) {
    double own = 0;
    quietly([&] {
        Camera camera;
        camera.set_fov(START_FOV);
        mouse_center();
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
            al_draw_prim(vertices.data(), nullptr, nullptr, 0, int(vertices.size()), ALLEGRO_PRIM_TRIANGLE_LIST);
            own += seconds_of([&] { camera.update(); });
            al_flip_display();
        }
    });
    return own / frames;
}

void compare(const char* name, const std::vector<TerrainVertex>& vertices, long frames) {
    constexpr int ROUNDS = 7;
    bare_frames(vertices, frames / 10);  // warm up
    // Interleaved rounds; the median ratio, as the machine's pace drifts.
    std::vector<double> ratios;
    double bare_best = 1e30, viewer_best = 1e30;
    for (int round = 0; round < ROUNDS; round++) {
        double bare = seconds_of([&] { bare_frames(vertices, frames); });
        double viewer = seconds_of([&] { viewer_frames(vertices, frames); });
        ratios.push_back(viewer / bare);
        bare_best = std::min(bare_best, bare);
        viewer_best = std::min(viewer_best, viewer);
    }
    std::sort(ratios.begin(), ratios.end());
    double median = ratios[ROUNDS / 2];
    double own = own_work_per_frame(vertices, frames);
    printf("  %-16s %8zu vertices | bare %7.1f fps | viewer %7.1f fps | viewer / bare time, median %+.1f %% "
           "(range %+.1f .. %+.1f %%) | viewer-only calls %6.1f us a frame = %.2f %% of the viewer's frame\n",
           name, vertices.size(), frames / bare_best, frames / viewer_best, (median - 1) * 100,
           (ratios.front() - 1) * 100, (ratios.back() - 1) * 100, own * 1e6, own / (viewer_best / frames) * 100);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s SAMPLE.bmp [frames]\n", argv[0]);
        return 2;
    }
    const long frames = argc > 2 ? atol(argv[2]) : 1500;
    if (!platform_init() || !set_video_mode(800, 600, VIDEO_MODE_MEMORY_BITMAPS)) return 1;
    printf("\n");
    ALLEGRO_BITMAP* sample = al_load_bitmap(argv[1]);
    if (!sample) {
        fprintf(stderr, "frame_bench: cannot load %s\n", argv[1]);
        return 1;
    }
    std::vector<TerrainVertex> sample_mesh, big_mesh, tiny_mesh;
    mesh_of(sample, sample_mesh);
    mesh_of(rolling_image(512), big_mesh);
    mesh_of(rolling_image(8), tiny_mesh);

    printf("frames per second, best of 7 interleaved runs of %ld frames each (800x600 window)\n", frames);
    char sample_name[64];
    snprintf(sample_name, sizeof sample_name, "sample %dx%d", al_get_bitmap_width(sample), al_get_bitmap_height(sample));
    compare(sample_name, sample_mesh, frames);
    compare("512x512", big_mesh, frames / 5);
    compare("8x8", tiny_mesh, frames * 4);

    // A long run: the resident size after warming up against the end.
    const long long_run = frames * 40;
    viewer_frames(sample_mesh, frames);
    long before = resident_kib();
    viewer_frames(sample_mesh, long_run);
    long after = resident_kib();
    printf("resident memory over %ld more frames of the sample: %ld KiB before, %ld KiB after (%+ld KiB)\n",
           long_run, before, after, after - before);
    return 0;
}
