// The height image's checks before decoding: headers read as the library
// reads them, files shorter than their header promises, run-length data cut
// short, and sizes too large for the memory or the library.
#include "app/heightmap.h"

#include <allegro5/allegro_image.h>
#include <gtest/gtest.h>

#include <cstring>

#include "app/bmp_header.h"
#include "test_files.h"

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

void put32_at(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; i++) bytes[at + i] = uint8_t(value >> (8 * i));
}

class HeightmapFile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(al_init());
        ASSERT_TRUE(al_init_image_addon());
    }
    void SetUp() override { al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP); }

    // Loads `bytes` as the viewer loads hmap.bmp; null with `problem` filled if it refuses.
    ALLEGRO_BITMAP* load(const std::vector<uint8_t>& bytes, HeightmapProblem& problem) {
        const std::string path = dir_.file("hmap.bmp");
        EXPECT_TRUE(write_file(path, bytes));
        return load_heightmap(path.c_str(), problem);
    }
    TempDir dir_;
};

bool same_pixels(ALLEGRO_BITMAP* a, ALLEGRO_BITMAP* b) {
    if (al_get_bitmap_width(a) != al_get_bitmap_width(b) || al_get_bitmap_height(a) != al_get_bitmap_height(b))
        return false;
    for (int y = 0; y < al_get_bitmap_height(a); y++)
        for (int x = 0; x < al_get_bitmap_width(a); x++) {
            ALLEGRO_COLOR p = al_get_pixel(a, x, y), q = al_get_pixel(b, x, y);
            if (memcmp(&p, &q, sizeof p) != 0) return false;
        }
    return true;
}

}  // namespace

TEST_F(HeightmapFile, EveryLayoutLoadsWholeOrWithoutItsLastPaddingButNotAByteShorter) {
    const struct {
        const char* name;
        BmpLayout layout;
        bool top_down;
        bool offset_zero;  // a writer that left the pixel offset at 0
        size_t padding;    // bytes of padding in the last row
    } cases[] = {
        {"1-bit", BmpLayout::mono1, false, false, 3},
        {"4-bit top-down", BmpLayout::palette4, true, false, 1},
        {"8-bit", BmpLayout::palette8, false, false, 3},
        {"OS/2 8-bit", BmpLayout::os2_palette8, false, false, 3},
        {"16-bit 555", BmpLayout::rgb555, false, false, 2},
        {"16-bit 565 masks, offset 0", BmpLayout::rgb565, false, true, 2},
        {"24-bit top-down", BmpLayout::rgb24, true, false, 1},
        {"24-bit, offset 0", BmpLayout::rgb24, false, true, 1},
        {"24-bit V5", BmpLayout::rgb24_v5, false, false, 1},
        {"32-bit V4", BmpLayout::argb32, false, false, 0},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> whole;
        ASSERT_TRUE(encode_bmp(layout_sample(c.layout), c.layout, c.top_down, whole)) << c.name;
        if (c.offset_zero) put32_at(whole, 10, 0);
        HeightmapProblem problem;
        ALLEGRO_BITMAP* full = load(whole, problem);
        ASSERT_NE(full, nullptr) << c.name << ": " << problem.reason;

        std::vector<uint8_t> unpadded(whole.begin(), whole.end() - c.padding);
        ALLEGRO_BITMAP* cut = load(unpadded, problem);
        ASSERT_NE(cut, nullptr) << c.name << ": " << problem.reason;
        EXPECT_TRUE(same_pixels(full, cut)) << c.name << ": the padding held pixels";

        unpadded.pop_back();
        EXPECT_EQ(load(unpadded, problem), nullptr) << c.name;
        EXPECT_TRUE(problem.refused) << c.name;
        EXPECT_TRUE(contains(problem.reason, "holds " + std::to_string(unpadded.size()) + " bytes")) << problem.reason;
        EXPECT_TRUE(contains(problem.reason, "which needs " + std::to_string(unpadded.size() + 1) + " bytes")) << problem.reason;
        al_destroy_bitmap(full);
        al_destroy_bitmap(cut);
    }
}

TEST_F(HeightmapFile, RunLengthDataLoadsToItsEndButNotCutShort) {
    for (BmpLayout layout : {BmpLayout::rle8, BmpLayout::rle4}) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(encode_bmp(layout_sample(layout), layout, false, bytes));
        HeightmapProblem problem;
        ALLEGRO_BITMAP* whole = load(bytes, problem);
        ASSERT_NE(whole, nullptr) << problem.reason;
        // A line end for every row ends the data as well as an end of bitmap.
        bytes.resize(bytes.size() - 2);
        ALLEGRO_BITMAP* ended_by_rows = load(bytes, problem);
        ASSERT_NE(ended_by_rows, nullptr) << problem.reason;
        EXPECT_TRUE(same_pixels(whole, ended_by_rows));
        bytes.pop_back();
        EXPECT_EQ(load(bytes, problem), nullptr);
        EXPECT_TRUE(problem.refused);
        EXPECT_TRUE(contains(problem.reason, "ends inside its compressed pixels")) << problem.reason;
        al_destroy_bitmap(whole);
        al_destroy_bitmap(ended_by_rows);
    }
}

TEST_F(HeightmapFile, WhatIsNotABmpHeaderIsLeftToTheLibrary) {
    // A PNG named hmap.bmp loads as the library's own loader would load it.
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    HeightmapProblem problem;
    EXPECT_EQ(load(png, problem), nullptr);
    EXPECT_FALSE(problem.refused);
    EXPECT_TRUE(contains(problem.reason, "not an image the library can read")) << problem.reason;
}

TEST(BmpHeader, RecognisesOnlyLayoutsTheLibraryDecodes) {
    std::vector<uint8_t> base;
    ASSERT_TRUE(encode_bmp(grey_picture(3, 2, {1, 2, 3, 4, 5, 6}), BmpLayout::rgb24, true, base));
    BmpHeader header;
    ASSERT_TRUE(read_bmp_header(base.data(), base.size(), header));
    EXPECT_EQ(header.width, 3);
    EXPECT_EQ(header.height, 2);  // top-down, as stored
    EXPECT_EQ(header.bits_per_pixel, 24);
    EXPECT_EQ(header.data_offset, 54u);
    EXPECT_EQ(bmp_bytes_needed(header), 54u + 12 + 9);

    struct Patch {
        size_t at;
        uint32_t value;
        int bytes;
    };
    const struct {
        const char* name;
        std::vector<Patch> patches;
    } unknown[] = {
        {"not BM", {{0, 'X', 1}}},
        {"a 64-byte header", {{14, 64, 4}}},
        {"7 bits a pixel", {{28, 7, 2}}},
        {"RLE8 at 24 bits", {{30, 1, 4}}},
        {"masks at 8 bits", {{28, 8, 2}, {30, 3, 4}}},
        {"JPEG inside", {{30, 4, 4}}},
        {"negative width", {{18, uint32_t(-3), 4}}},
    };
    for (const auto& u : unknown) {
        std::vector<uint8_t> bytes = base;
        for (const Patch& p : u.patches)
            for (int i = 0; i < p.bytes; i++) bytes[p.at + i] = uint8_t(p.value >> (8 * i));
        EXPECT_FALSE(read_bmp_header(bytes.data(), bytes.size(), header)) << u.name;
    }
    EXPECT_FALSE(read_bmp_header(base.data(), 40, header)) << "cut inside the header";
    // Sizes the 64-bit arithmetic must survive.
    std::vector<uint8_t> huge = base;
    put32_at(huge, 18, 0x7FFFFFFF);
    put32_at(huge, 22, 0x80000000);  // -2^31: 2^31 rows top-down
    ASSERT_TRUE(read_bmp_header(huge.data(), huge.size(), header));
    EXPECT_EQ(header.height, int64_t(1) << 31);
    EXPECT_GT(bmp_bytes_needed(header), uint64_t(1) << 63);
}

TEST(BmpRle, CompleteOnlyWhenTheDataReachesItsEnd) {
    const struct {
        const char* name;
        std::vector<int> data;
        bool complete;
    } cases[] = {
        {"end of bitmap", {4, 9, 0, 1}, true},
        {"a line end per row", {4, 9, 0, 0, 4, 9, 0, 0}, true},
        {"one row short", {4, 9, 0, 0, 4, 9}, false},
        {"empty", {}, false},
        {"cut inside a pair", {4}, false},
        {"absolute run, padded", {0, 3, 1, 2, 3, 0, 0, 1}, true},
        {"cut inside an absolute run", {0, 5, 1, 2, 3}, false},
        {"skip, then the end", {0, 2, 1, 1, 0, 1}, true},
        {"cut inside a skip", {0, 2, 1}, false},
    };
    BmpHeader header{4, 2, 8, BmpPixels::rle8, 0};
    for (const auto& c : cases) {
        size_t at = 0;
        auto next = [&] { return at < c.data.size() ? c.data[at++] : -1; };
        EXPECT_EQ(bmp_rle_complete(header, next), c.complete) << c.name;
    }
    // At 4 bits, 5 stored pixels take 3 bytes, padded to 4.
    BmpHeader rle4{5, 1, 4, BmpPixels::rle4, 0};
    std::vector<int> data = {0, 5, 0x12, 0x34, 0x50, 0, 0, 1};
    size_t at = 0;
    EXPECT_TRUE(bmp_rle_complete(rle4, [&] { return at < data.size() ? data[at++] : -1; }));
}

TEST(HeightmapSize, RefusesWhatTheMemoryOrTheLibraryCannotHold) {
    EXPECT_EQ(BYTES_PER_PIXEL, 220u);
    EXPECT_EQ(heightmap_bytes(1000, 2000), 440000000u);
    EXPECT_EQ(heightmap_bytes(INT64_MAX, 2), UINT64_MAX);
    const uint64_t GiB = uint64_t(1) << 30;
    // An eighth of what is available stays free, and never less than 512 MiB.
    const struct {
        uint64_t available, spare;
    } spares[] = {{0, 0}, {GiB / 2, 0}, {GiB, GiB / 2}, {4 * GiB, 3 * GiB + GiB / 2}, {16 * GiB, 14 * GiB}};
    for (const auto& s : spares) EXPECT_EQ(memory_to_spare(s.available), s.spare) << s.available;

    const struct {
        int64_t width, height;
        uint64_t spare;
        const char* problem;  // a part of it; "" for none
    } sizes[] = {
        {0, 100, 22000, ""},
        {0, 100, 21999, "hmap.bmp is 0 x 100 pixels: it holds no terrain, yet has more rows than an image one"},
        {100, 100, 2200000, ""},
        {100, 100, 2199999, "hmap.bmp is 100 x 100 pixels, too large for the memory here: its terrain needs 2 MB"},
        {23170, 23170, UINT64_MAX, ""},
        {23171, 23171, UINT64_MAX, "23171 x 23171 pixels, too large for the image library: it holds at most 536870911"},
        {23171, 23171, 20 * GiB, "needs 118.1 GB (220 bytes a pixel for the mesh and the decoded image), and 21.5 GB"},
    };
    for (const auto& s : sizes) {
        std::string problem = heightmap_size_problem("hmap.bmp", s.width, s.height, s.spare);
        if (*s.problem == '\0')
            EXPECT_EQ(problem, "") << s.width << " x " << s.height;
        else
            EXPECT_TRUE(contains(problem, s.problem)) << problem;
    }
    EXPECT_GT(memory_available(), 0u);
}
