#include "terrain/terrain_mesh.h"

#include <allegro5/allegro_image.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <cstring>
#include <string>
#include <vector>

#include "reference_mesh.h"
#include "test_files.h"

namespace {

class TerrainMesh : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(al_init());
        ASSERT_TRUE(al_init_image_addon());
    }
    void SetUp() override { al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP); }
    void TearDown() override {
        for (ALLEGRO_BITMAP* b : bitmaps_) al_destroy_bitmap(b);
    }

    // The picture written as a BMP and loaded back, as the viewer loads hmap.bmp.
    ALLEGRO_BITMAP* load(const Picture& picture, BmpLayout layout, bool top_down = false) {
        std::string path = write_bmp(dir_, "image.bmp", picture, layout, top_down);
        ALLEGRO_BITMAP* image = path.empty() ? nullptr : al_load_bitmap(path.c_str());
        if (image) bitmaps_.push_back(image);
        return image;
    }
    ALLEGRO_BITMAP* grey(int width, int height, const std::vector<uint8_t>& levels) {
        return load(grey_picture(width, height, levels), BmpLayout::palette8);
    }
    // The picture in a memory bitmap of that pixel format, as no BMP loads.
    ALLEGRO_BITMAP* in_format(const Picture& picture, int format) {
        al_set_new_bitmap_format(format);
        ALLEGRO_BITMAP* image = blank(picture.width, picture.height);
        al_set_new_bitmap_format(ALLEGRO_PIXEL_FORMAT_ANY_WITH_ALPHA);
        if (!image) return nullptr;
        al_set_target_bitmap(image);
        for (int i = 0; i < picture.width * picture.height; i++) {
            const uint32_t p = picture.pixels[size_t(i)];
            al_put_pixel(i % picture.width, i / picture.width, al_map_rgba(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF, p >> 24));
        }
        return image;
    }
    // A blank memory bitmap; its pixels are never touched, so even a huge one costs nothing.
    ALLEGRO_BITMAP* blank(int width, int height) {
        ALLEGRO_BITMAP* image = al_create_bitmap(width, height);
        if (image) bitmaps_.push_back(image);
        return image;
    }
    TerrainVertices build(ALLEGRO_BITMAP* image, std::string* printed = nullptr, const MeshBuildOptions& options = {}) {
        TerrainVertices vertices;
        CapturedStream out(STDOUT_FILENO);
        build_terrain_mesh(image, vertices, options);
        std::string text = out.text();
        if (printed) *printed = text;
        return vertices;
    }

    TempDir dir_;
    std::vector<ALLEGRO_BITMAP*> bitmaps_;
};

Picture random_picture(int width, int height, unsigned seed, bool grey, bool alpha) {
    Lcg random(seed);
    Picture picture{width, height, {}};
    for (int i = 0; i < width * height; i++) {
        unsigned value = random.next();
        unsigned a = alpha ? (value >> 24 | 0x10) & 0xFF : 0xFF;
        unsigned rgb = grey ? (value & 0xFF) * 0x010101u : value & 0xFFFFFF;
        picture.pixels.push_back(a << 24 | rgb);
    }
    return picture;
}

// At most `colours` distinct colours, for the palette layouts.
Picture few_colours(int width, int height, unsigned seed, unsigned colours) {
    Picture picture = random_picture(width, height, seed, false, false);
    for (uint32_t& p : picture.pixels) p = 0xFF000000u | ((p % colours) * 0x3F1F2Bu & 0xFFFFFF);
    return picture;
}

}  // namespace

TEST_F(TerrainMesh, MatchesThePlainRouteByteForByteOnEveryKindOfImage) {
    const struct {
        const char* name;
        Picture picture;
        BmpLayout layout;
        bool top_down;
        int format = 0;  // put into a bitmap of this format instead of loaded
    } cases[] = {
        {"1x1 grey", random_picture(1, 1, 1, true, false), BmpLayout::palette8, false},
        {"1x9 grey", random_picture(1, 9, 2, true, false), BmpLayout::palette8, false},
        {"9x1 grey", random_picture(9, 1, 3, true, false), BmpLayout::palette8, false},
        {"13x5 grey, odd width", random_picture(13, 5, 4, true, false), BmpLayout::rgb24, false},
        {"7x11 coloured", random_picture(7, 11, 5, false, false), BmpLayout::rgb24, false},
        {"6x6 with alpha", random_picture(6, 6, 6, false, true), BmpLayout::argb32, false},
        {"11x7 8-bit palette", few_colours(11, 7, 7, 256), BmpLayout::palette8, false},
        {"9x5 4-bit palette", few_colours(9, 5, 8, 16), BmpLayout::palette4, false},
        {"17x3 1-bit", few_colours(17, 3, 9, 2), BmpLayout::mono1, false},
        {"8x6 16-bit 555", random_picture(8, 6, 10, false, false), BmpLayout::rgb555, false},
        {"5x7 16-bit 565", random_picture(5, 7, 11, false, false), BmpLayout::rgb565, false},
        {"5x4 top-down 24-bit", random_picture(5, 4, 12, false, false), BmpLayout::rgb24, true},
        {"6x3 top-down 8-bit", random_picture(6, 3, 13, true, false), BmpLayout::palette8, true},
        {"3x5 top-down 32-bit", random_picture(3, 5, 14, false, true), BmpLayout::argb32, true},
        // Blue elsewhere in a 32-bit pixel, and a format read through the library.
        {"9x4 in ABGR 8888", random_picture(9, 4, 15, false, true), BmpLayout::argb32, false, ALLEGRO_PIXEL_FORMAT_ABGR_8888},
        {"9x4 in RGBX 8888", random_picture(9, 4, 16, false, false), BmpLayout::rgb24, false, ALLEGRO_PIXEL_FORMAT_RGBX_8888},
        {"9x4 in RGB 565", random_picture(9, 4, 17, false, false), BmpLayout::rgb24, false, ALLEGRO_PIXEL_FORMAT_RGB_565},
    };
    for (const auto& c : cases) {
        ALLEGRO_BITMAP* image = c.format ? in_format(c.picture, c.format) : load(c.picture, c.layout, c.top_down);
        ASSERT_NE(image, nullptr) << c.name;
        TerrainVertices plain;
        build_reference_mesh(image, plain, false);
        TerrainVertices ours = build(image);
        ASSERT_EQ(ours.size(), plain.size()) << c.name;
        EXPECT_EQ(std::memcmp(ours.data(), plain.data(), ours.size() * sizeof(TerrainVertex)), 0) << c.name;
    }
}

TEST_F(TerrainMesh, AnyNumberOfThreadsFillsTheSameMeshAndPrintsEachRowOnceInOrderOnceDone) {
    // Pieces of 8192 cells: one a row wider than that, several rows each of
    // narrow ones, one a thread and more, and row counts no thread count divides.
    const struct {
        int width, height;
    } sizes[] = {{1, 1}, {1, 20011}, {20011, 1}, {8209, 5}, {97, 853}, {6, 7}};
    int watched = 0;
    for (const auto& size : sizes) {
        const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height);
        ALLEGRO_BITMAP* image = load(random_picture(size.width, size.height, 3, true, false), BmpLayout::palette8);
        ASSERT_NE(image, nullptr) << name;
        MeshBuildOptions options;
        options.threads = 1;
        std::string alone_printed;
        const TerrainVertices alone = build(image, &alone_printed, options);
        ASSERT_EQ(alone.size(), size_t(6) * size.width * size.height) << name;
        EXPECT_EQ(alone_printed, progress_lines(size.height)) << name;
        for (int threads : {2, 3, 5}) {
            // Each cell told once filled, on whichever thread filled it; the
            // 11 pieces of 97 x 853 slowly, so the watch looks meanwhile: the
            // rows said done by then are filled.
            std::vector<int> told(size_t(size.width) * size.height);
            std::mutex telling;
            options.threads = threads;
            options.filled = [&](uint64_t first, uint64_t count) {
                if (size.width == 97) usleep(60000);
                std::lock_guard<std::mutex> hold(telling);
                for (uint64_t cell = first; cell < first + count; cell++) told.at(cell)++;
            };
            options.watch = [&](int rows_done, int rows) {
                std::lock_guard<std::mutex> hold(telling);
                EXPECT_EQ(rows, size.height);
                const auto done = told.begin() + std::ptrdiff_t(rows_done) * size.width;
                EXPECT_EQ(std::count(told.begin(), done, 1), done - told.begin()) << name << ": rows not yet done";
                watched++;
                return true;
            };
            std::string printed;
            const TerrainVertices ours = build(image, &printed, options);
            ASSERT_EQ(ours.size(), alone.size()) << name << " on " << threads;
            EXPECT_EQ(std::memcmp(ours.data(), alone.data(), ours.size() * sizeof(TerrainVertex)), 0)
                << name << " on " << threads;
            EXPECT_EQ(printed, alone_printed) << name << " on " << threads;
            EXPECT_EQ(std::count(told.begin(), told.end(), 1), std::ptrdiff_t(told.size())) << name << " on " << threads;
        }
    }
    EXPECT_GT(watched, 2);
}

TEST_F(TerrainMesh, SixVerticesPerPixelAndAProgressLinePerRow) {
    ALLEGRO_BITMAP* image = grey(5, 3, std::vector<uint8_t>(15, 100));
    std::string printed;
    TerrainVertices vertices = build(image, &printed);
    EXPECT_EQ(vertices.size(), 6u * 5 * 3);
    EXPECT_EQ(vertices.capacity(), vertices.size());  // reserved once, never doubled
    EXPECT_EQ(printed,
              "Creating hmap: scanline 0/3\n"
              "Creating hmap: scanline 1/3\n"
              "Creating hmap: scanline 2/3\n");

    // No rows: no lines, no vertices, and no memory for rows however wide.
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    const long peak_before = usage.ru_maxrss;
    EXPECT_TRUE(build(blank(INT_MAX, 0), &printed).empty());
    EXPECT_EQ(printed, "");
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss - peak_before, 64 * 1024) << "KiB more at the peak";
    // Rows of no pixels: a line each, still no vertices.
    EXPECT_TRUE(build(blank(0, 2), &printed).empty());
    EXPECT_EQ(printed, "Creating hmap: scanline 0/2\nCreating hmap: scanline 1/2\n");
}

TEST_F(TerrainMesh, AsksItsCheckEveryStepEvenInsideARowAndGivesTheMemoryBackWhenStopped) {
    // 2 rows of 350000 cells, 151 MB of mesh: checks as cells 0, 310689 and
    // 621378 are handed out to fill, two of them inside a row. On one thread
    // they are asked exactly what is left then; on several, pieces handed
    // out but not yet filled count as left too.
    ALLEGRO_BITMAP* image = blank(350000, 2);
    ASSERT_NE(image, nullptr);
    const uint64_t cell = 216, step = MESH_CHECK_BYTES / cell, cells = 700000;
    const uint64_t left[] = {cells * cell, (cells - step) * cell, (cells - 2 * step) * cell};
    for (int threads : {1, 3})
        for (size_t stop_at : {0, 1, 3}) {  // the check that says no; 3: none
            std::vector<uint64_t> asked;
            TerrainVertices vertices;
            CapturedStream out(STDOUT_FILENO);
            MeshBuildOptions options;
            options.threads = threads;
            options.check = [&](uint64_t bytes_left) {
                asked.push_back(bytes_left);
                return asked.size() - 1 != stop_at;
            };
            const bool built = build_terrain_mesh(image, vertices, options);
            const std::string printed = out.text();
            EXPECT_EQ(built, stop_at == 3);
            ASSERT_EQ(asked.size(), std::min<size_t>(stop_at + 1, 3)) << threads << " threads";
            for (size_t k = 0; k < asked.size(); k++) {
                if (threads == 1) {
                    EXPECT_EQ(asked[k], left[k]) << "check " << k;
                } else {
                    EXPECT_GE(asked[k], left[k]) << "check " << k;
                    EXPECT_LE(asked[k], k == 0 ? left[0] : asked[k - 1]) << "check " << k;
                }
            }
            EXPECT_EQ(vertices.size(), built ? cells * 6 : 0);
            if (!built) {
                EXPECT_EQ(vertices.capacity(), 0u) << "the memory kept after a stop";
            }
            EXPECT_EQ(printed, built ? progress_lines(2) : "");
        }
}

TEST_F(TerrainMesh, CornersInVertexOrderFromMinus20AtTheirLevelLess156GreenUpTo50) {
    // 2 x 2 of levels 10, 20 / 30, 40: each cell's corners (column, row),
    // (column, row + 1), (column + 1, row), (column, row + 1), (column + 1,
    // row), (column + 1, row + 1); those past the last column or row at the
    // floor (level 0) and black.
    const TerrainVertices v = build(grey(2, 2, {10, 20, 30, 40}));
    const int levels[4][6] = {
        {10, 30, 20, 30, 20, 40}, {20, 40, 0, 40, 0, 0}, {30, 0, 40, 0, 40, 0}, {40, 0, 0, 0, 0, 0}};
    const int right[6] = {0, 0, 1, 0, 1, 1}, down[6] = {0, 1, 0, 1, 0, 1};
    ASSERT_EQ(v.size(), 24u);
    for (int cell = 0; cell < 4; cell++)
        for (int k = 0; k < 6; k++) {
            const TerrainVertex& corner = v[cell * 6 + k];
            EXPECT_EQ(corner.x, cell % 2 + right[k] - 20) << "cell " << cell << ", vertex " << k + 1;
            EXPECT_EQ(corner.z, cell / 2 + down[k] - 20) << "cell " << cell << ", vertex " << k + 1;
            EXPECT_EQ(corner.y, levels[cell][k] - 156) << "cell " << cell << ", vertex " << k + 1;
            EXPECT_FLOAT_EQ(corner.color.g, levels[cell][k] / 255.0f) << "cell " << cell << ", vertex " << k + 1;
            EXPECT_EQ(corner.color.a, 1) << "cell " << cell << ", vertex " << k + 1;
        }
    // Past 50 every level is the same green; grey 156 is height 0.
    const std::vector<uint8_t> row = {0, 20, 49, 50, 51, 156, 200, 255};
    const TerrainVertices w = build(grey(int(row.size()), 1, row));
    for (size_t j = 0; j < row.size(); j++) {
        const TerrainVertex& corner = w[j * 6];
        EXPECT_EQ(corner.y, float(row[j]) - 156) << "level " << int(row[j]);
        EXPECT_FLOAT_EQ(corner.color.g, std::min<int>(row[j], 50) / 255.0f) << "level " << int(row[j]);
        EXPECT_EQ(corner.color.r, 0);
        EXPECT_EQ(corner.color.b, 0);
        EXPECT_EQ(corner.color.a, 1);
    }
    EXPECT_EQ(w[5 * 6].y, 0);
}

TEST(MeshSize, CountsWithoutOverflow) {
    MeshSize largest = mesh_size(65535, 65535);
    EXPECT_EQ(largest.vertices, 6ull * 65535 * 65535);
    EXPECT_EQ(largest.bytes, 36ull * 6 * 65535 * 65535);
    EXPECT_EQ(mesh_size(0, 100).vertices, 0u);
    EXPECT_EQ(mesh_size(-5, 100).bytes, 0u);
    // Past 64 bits the counts stop at the top instead of wrapping to a small mesh.
    MeshSize absurd = mesh_size(INT64_MAX, INT64_MAX);
    EXPECT_EQ(absurd.vertices, UINT64_MAX);
    EXPECT_EQ(absurd.bytes, UINT64_MAX);
    EXPECT_EQ(mesh_size(1 << 30, 1 << 30).bytes, UINT64_MAX);  // 2^60 cells: vertices fit, bytes do not
}
