// The height image's checks before decoding: headers read as the library
// reads them, files shorter than their header promises, run-length data cut
// short, other formats, sizes too large for the memory or the library, and a
// file that changes while it is loaded.
#include "heightmap/heightmap.h"

#include <allegro5/allegro_image.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

#include "heightmap/bmp_header.h"
#include "heightmap/shipped_files.h"
#include "heightmap/shrink_advice.h"
#include "heightmap/size_policy.h"
#include "other_formats.h"
#include "test_files.h"
#include "x_desktop.h"

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

constexpr uint64_t GiB = uint64_t(1) << 30;

// A budget that spares the same whenever it is asked.
MemoryBudget fixed_memory_budget(uint64_t spare) {
    return [spare] { return MemoryLimit{spare, "for the height image"}; };
}

class HeightmapFile : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(al_init());
        ASSERT_TRUE(al_init_image_addon());
    }
    void SetUp() override { al_set_new_bitmap_flags(ALLEGRO_MEMORY_BITMAP); }
    void TearDown() override {
        for (ALLEGRO_BITMAP* image : images_) al_destroy_bitmap(image);
    }

    // Loads `bytes` as the viewer loads hmap.bmp, with 1 GiB to spare; null
    // with `problem` filled if it refuses.
    ALLEGRO_BITMAP* load(const std::vector<uint8_t>& bytes, HeightmapProblem& problem,
                         const MemoryBudget& budget = fixed_memory_budget(GiB)) {
        const std::string path = dir_.file("hmap.bmp");
        unlink(path.c_str());
        EXPECT_TRUE(write_file(path, bytes));
        return held(load_heightmap(path.c_str(), problem, budget));
    }
    // `image`, destroyed when the test ends.
    ALLEGRO_BITMAP* held(ALLEGRO_BITMAP* image) {
        if (image) images_.push_back(image);
        return image;
    }
    TempDir dir_;
    std::vector<ALLEGRO_BITMAP*> images_;
};

// A file of the user's that a printed command must never touch.
constexpr const char* USERS_FILE = "a file of the user's";

// A refusal's `command` run by sh as a user pastes it, twice: the first
// keeps the refused file's bytes, `original`, under `kept` and writes a new
// `made`; the second stops before it moves anything. `users_file`, there
// before the command was printed, stays as it was.
void expect_safe_pasted_twice(const std::string& command, const std::string& original, const std::string& kept,
                              const std::string& made, const std::string& users_file) {
    ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
    const std::string first = read_file(made);
    EXPECT_NE(first, "") << command;
    EXPECT_NE(std::system((command + " >/dev/null 2>&1").c_str()), 0) << "pasted again, it ran on: " << command;
    EXPECT_EQ(read_file(kept), original) << "the original is lost: " << command;
    EXPECT_EQ(read_file(made), first) << "pasted again, it replaced what it made: " << command;
    EXPECT_EQ(read_file(users_file), USERS_FILE) << command;
}

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
        if (c.offset_zero) put32_at(whole, BMP_OFFSET_AT, 0);
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
    }
}

TEST_F(HeightmapFile, RunLengthDataLoadsToItsEndButNotCutShort) {
    // Alternate levels make runs of one pixel: 200 x 200 of them is 80 KB of
    // data, more than one block of the file is read at a time.
    std::vector<uint8_t> alternating;
    for (int i = 0; i < 200 * 200; i++) alternating.push_back((i + i / 200) % 2 ? 30 : 180);
    const struct {
        const char* name;
        BmpLayout layout;
        Picture picture;
    } cases[] = {
        {"RLE8", BmpLayout::rle8, layout_sample(BmpLayout::rle8)},
        {"RLE4", BmpLayout::rle4, layout_sample(BmpLayout::rle4)},
        {"RLE8 of 80 KB", BmpLayout::rle8, grey_picture(200, 200, alternating)},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(encode_bmp(c.picture, c.layout, false, bytes));
        HeightmapProblem problem;
        ALLEGRO_BITMAP* whole = load(bytes, problem);
        ASSERT_NE(whole, nullptr) << c.name << ": " << problem.reason;
        // A line end for every row ends the data as well as an end of bitmap.
        bytes.resize(bytes.size() - 2);
        ALLEGRO_BITMAP* ended_by_rows = load(bytes, problem);
        ASSERT_NE(ended_by_rows, nullptr) << c.name << ": " << problem.reason;
        EXPECT_TRUE(same_pixels(whole, ended_by_rows)) << c.name;
        bytes.pop_back();
        EXPECT_EQ(load(bytes, problem), nullptr) << c.name;
        EXPECT_TRUE(problem.refused) << c.name;
        EXPECT_TRUE(contains(problem.reason, "ends inside its compressed pixels")) << problem.reason;
    }

    // A skip down past the bottom row, then a line end for each row left.
    std::vector<uint8_t> five_by_three;
    ASSERT_TRUE(encode_bmp(grey_picture(5, 3, std::vector<uint8_t>(15, 90)), BmpLayout::rle8, false, five_by_three));
    const uint32_t offset = five_by_three[BMP_OFFSET_AT] | five_by_three[BMP_OFFSET_AT + 1] << 8;
    std::vector<uint8_t> skipping(five_by_three.begin(), five_by_three.begin() + offset);
    skipping.insert(skipping.end(), {0, 2, 0, 1, 5, 0, 0, 0, 5, 0, 0, 0});
    HeightmapProblem problem;
    ALLEGRO_BITMAP* skipped = load(skipping, problem);
    ASSERT_NE(skipped, nullptr) << problem.reason;
    EXPECT_EQ(al_get_bitmap_height(skipped), 3);

    // Pixels said to start in the colour table, which the library reads
    // whole all the same: there the data is an end of bitmap at once.
    std::vector<uint8_t> in_the_colours = five_by_three;
    in_the_colours[54] = 0, in_the_colours[55] = 1;  // colour 0's blue and green
    put32_at(in_the_colours, BMP_OFFSET_AT, 54);
    ALLEGRO_BITMAP* blank = load(in_the_colours, problem);
    ASSERT_NE(blank, nullptr) << problem.reason;

    // Skips of nothing, on and on: 5 x 3 pixels take at most 4 bytes a pixel
    // and a row, and 2 for the end.
    skipping.resize(offset);
    for (int i = 0; i < 20; i++) skipping.insert(skipping.end(), {0, 2, 0, 0});
    EXPECT_EQ(load(skipping, problem), nullptr);
    EXPECT_TRUE(contains(problem.reason, "'s compressed pixels run on past 74 bytes, more than a 5 x 3 image needs"))
        << problem.reason;
}

TEST_F(HeightmapFile, OtherFormatsAreRefusedByNameWithACommandThatConvertsThem) {
    // Elevation models go to the recipe: 8 bits would keep their levels 0 to
    // 4 of 255, all black.
    const Picture levels = grey_picture(3, 2, {10, 60, 110, 160, 210, 250});
    const std::vector<uint8_t> tga = encode_tga(levels, true);
    std::vector<uint8_t> rle_tga = tga;  // run-length grey (type 11): one raw packet of the six levels
    rle_tga[2] = 11;
    rle_tga.insert(rle_tga.begin() + 18, 5);
    const struct {
        const char* format;
        const char* extension;   // the one a kept copy gets
        std::vector<uint8_t> bytes;
        bool converts = true;    // its command runs here, on `levels` unless made by GDAL
        int bits = 8;            // past 8: the recipe's command
        const char* gdal = "";   // options making a GeoTIFF of 3 x 2 instead of `bytes`
    } cases[] = {
        {"PNG", "png", encode_png(levels)},
        {"TGA", "tga", tga},
        {"TGA", "tga", encode_tga(levels, false)},
        {"TGA", "tga", rle_tga},
        {"PCX", "pcx", encode_pcx(levels)},
        {"JPEG", "jpg", jpeg_start(23170, 23170, 352), false},
        {"WebP", "webp", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'}, false},
        {"DDS", "dds", {'D', 'D', 'S', ' ', 124, 0, 0, 0}, false},
        {"GIF", "gif", {'G', 'I', 'F', '8', '9', 'a'}, false},
        {"TIFF", "tif", {'I', 'I', '*', 0}, false},
        {"TIFF", "tif", {'M', 'M', 0, '*'}, false},
        {"PNG", "png", encode_png(grey_picture(3, 2, {1, 2, 3, 4, 5, 6}), 16), true, 16},
        {"TIFF", "tif", {}, true, 16, "-ot UInt16"},
        {"TIFF", "tif", {}, true, 16, "-ot UInt16 -bands 2"},  // grey and alpha
        {"TIFF", "tif", {}, true, 32, "-ot Float32 -bands 3 -co ENDIANNESS=BIG"},
        {"TIFF", "tif", {}, true, 8, "-ot Byte"},
    };
    const std::string path = dir_.file("hmap.bmp");
    for (const auto& c : cases) {
        const std::string name = std::string(c.format) + " " + std::to_string(c.bits) + "-bit " + c.gdal;
        // The name the file would be kept under is the user's already.
        ASSERT_EQ(std::system(("rm -f " + dir_.path() + "/*").c_str()), 0);
        std::ofstream(dir_.file(std::string("hmap.") + c.extension)) << USERS_FILE;
        std::vector<uint8_t> bytes = c.bytes;
        if (*c.gdal) {
            const std::string make = "gdal_create -q -of GTiff -outsize 3 2 " + std::string(c.gdal) + " " + path;
            ASSERT_EQ(std::system(make.c_str()), 0) << make;
            const std::string file = read_file(path);
            bytes.assign(file.begin(), file.end());
        }
        HeightmapProblem problem;
        EXPECT_EQ(load(bytes, problem), nullptr) << name;
        EXPECT_TRUE(problem.refused) << name;
        const std::string kept = dir_.file(std::string("hmap-2.") + c.extension);
        const std::string command = "mv -n " + path + " " + kept + " && [ ! -e " + path + " ] && " +
                                    (c.bits > 8 ? "dem_to_hmap.sh --shaded " + kept + " " + path
                                                : "convert " + kept + " -colorspace Gray -depth 8 BMP3:" + path);
        if (c.bits > 8) {
            EXPECT_TRUE(contains(problem.reason, path + " holds a " + c.format + " image of " +
                                                     std::to_string(c.bits) + "-bit samples, and the viewer reads "
                                                     "BMP images only."))
                << name << ": " << problem.reason;
            EXPECT_TRUE(contains(problem.reason, command + " (dem_to_hmap.sh comes with the viewer"))
                << name << ": " << problem.reason;
        } else {
            EXPECT_EQ(problem.reason, path + " holds a " + c.format + " image, and the viewer reads BMP images only. "
                                      "To convert it with ImageMagick: " + command) << name;
        }
        if (!c.converts) continue;
        // As the user pastes it, with the recipe found on the PATH; then the
        // viewer's own check and decoder.
        expect_safe_pasted_twice("PATH='" SCRIPTS_DIR "':\"$PATH\"; " + command,
                                 std::string(bytes.begin(), bytes.end()), kept, path,
                                 dir_.file(std::string("hmap.") + c.extension));
        ALLEGRO_BITMAP* image = held(load_heightmap(path.c_str(), problem, fixed_memory_budget(GiB)));
        ASSERT_NE(image, nullptr) << name << ": " << problem.reason;
        for (int i = 0; i < 6 && c.bits == 8 && !*c.gdal; i++) {
            unsigned char grey;
            al_unmap_rgb(al_get_pixel(image, i % 3, i / 3), &grey, &grey, &grey);
            EXPECT_EQ(grey, levels.at(i % 3, i / 3) & 0xFF) << name << " pixel " << i;
        }
    }
    // No image at all is still the library's to turn down.
    for (const std::vector<uint8_t>& bytes : {std::vector<uint8_t>{}, std::vector<uint8_t>(3000, 0x5a),
                                              std::vector<uint8_t>(tga.begin(), tga.begin() + 10)}) {
        HeightmapProblem problem;
        EXPECT_EQ(load(bytes, problem), nullptr);
        EXPECT_FALSE(problem.refused) << problem.reason;
        EXPECT_TRUE(contains(problem.reason, "not an image the library can read")) << problem.reason;
    }
}

TEST_F(HeightmapFile, HeightsAreTheGreyLevelsWhateverTheAlpha) {
    // Alpha 0 would make every sample 0, and a premultiplied one would scale it.
    const std::vector<uint8_t> levels = {200, 180, 156, 90, 51, 7};
    const uint32_t alphas[] = {0x00, 0x80, 0xFF, 0x01, 0x00, 0x40};
    Picture picture = grey_picture(3, 2, levels);
    for (size_t i = 0; i < picture.pixels.size(); i++) picture.pixels[i] = (picture.pixels[i] & 0xFFFFFF) | alphas[i] << 24;
    for (BmpLayout layout : {BmpLayout::argb32, BmpLayout::rgb32}) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(encode_bmp(picture, layout, false, bytes));
        HeightmapProblem problem;
        ALLEGRO_BITMAP* image = load(bytes, problem);
        ASSERT_NE(image, nullptr) << problem.reason;
        TerrainVertices mesh;
        CapturedStream progress(STDOUT_FILENO);
        build_terrain_mesh(image, mesh);
        progress.text();
        ASSERT_EQ(mesh.size(), 36u);
        for (size_t i = 0; i < levels.size(); i++)  // each cell's first vertex stands on its own pixel
            EXPECT_EQ(mesh[i * 6].y, float(levels[i]) - HEIGHT_BASE) << "pixel " << i << " alpha " << alphas[i];
    }
}

TEST_F(HeightmapFile, ALinkToAMissingFileIsToldApart) {
    const std::string path = dir_.file("hmap.bmp");
    HeightmapProblem problem;
    EXPECT_EQ(load_heightmap(path.c_str(), problem), nullptr);
    EXPECT_EQ(problem.reason, "no such file in the working directory");
    ASSERT_EQ(symlink("maps/gone.bmp", path.c_str()), 0);
    EXPECT_EQ(load_heightmap(path.c_str(), problem), nullptr);
    EXPECT_FALSE(problem.refused);
    EXPECT_EQ(problem.reason, "it is a link to a missing file (maps/gone.bmp)");
    // Told whole however long.
    std::string far = "maps";
    while (far.size() < 3000) far += "/a-folder-deep-down-in-the-maps";
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_EQ(symlink((far + "/gone.bmp").c_str(), path.c_str()), 0);
    EXPECT_EQ(load_heightmap(path.c_str(), problem), nullptr);
    EXPECT_EQ(problem.reason, "it is a link to a missing file (" + far + "/gone.bmp)");
}

TEST_F(HeightmapFile, TheMemoryIsAskedAgainOnceTheImageIsDecodedAndAsItsMeshFills) {
    // 100 x 100 needs 2.2 MB in all, 2.16 MB of it for the mesh.
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(encode_bmp(grey_picture(100, 100, std::vector<uint8_t>(10000, 99)), BmpLayout::palette8, false, bytes));
    const struct {
        uint64_t before, after, filling;  // spare bytes, asked before reading, after decoding, as the mesh fills
        const char* problem;              // "" for none
    } cases[] = {
        {2200000, 2160000, 2160000, ""},
        {2200000, 2160000, 2159999, "hmap.bmp is 100 x 100 pixels, too large for the memory left here: other "
                                    "programs took memory while its mesh was being built, and the rest of the mesh "
                                    "needs 2 MB while 2 MB can be spared as it fills. Close some of them"},
        {2200000, 2159999, GiB, "hmap.bmp is 100 x 100 pixels, too large for the memory here: once it is decoded, "
                                "its mesh still needs 2 MB (216 bytes a pixel), and 2 MB can be spared after decoding"},
        {2199999, GiB, GiB, "its terrain needs 2 MB (220 bytes a pixel for the mesh and the decoded image), and 2 MB "
                            "can be spared before reading"},
    };
    for (const auto& c : cases) {
        int asked = 0;
        const MemoryBudget budget = [&] {
            const MemoryLimit limits[] = {{c.before, "before reading"}, {c.after, "after decoding"},
                                          {c.filling, "as it fills"}};
            return limits[std::min(asked++, 2)];
        };
        HeightmapProblem problem;
        ALLEGRO_BITMAP* image = load(bytes, problem, budget);
        bool built = false;
        if (image) {
            TerrainVertices mesh;
            CapturedStream progress(STDOUT_FILENO);
            MeshBuildOptions options;
            options.check = mesh_memory_check("hmap.bmp", image, problem, budget);
            built = build_terrain_mesh(image, mesh, options);
        }
        EXPECT_EQ(built, *c.problem == '\0') << c.filling;
        EXPECT_TRUE(contains(problem.reason, c.problem)) << problem.reason;
    }
    // The command the report adds, by either tool, makes an image that fits.
    const std::string path = dir_.file("hmap.bmp");
    const ShrinkTools here = shrink_tools_here();
    const struct {
        const char* tool;
        ShrinkTools tools;
    } tools[] = {{"convert", {false, true, here.policy}}, {"gdal_translate", {true, false, {}}}};
    for (const auto& t : tools) {
        if ((t.tools.gdal && !here.gdal) || (t.tools.imagemagick && !here.imagemagick)) continue;
        ASSERT_EQ(std::system(("rm -f " + dir_.path() + "/*").c_str()), 0);
        std::ofstream(dir_.file("hmap-large.bmp")) << USERS_FILE;
        HeightmapProblem problem;
        EXPECT_EQ(load(bytes, problem, fixed_memory_budget(2199999)), nullptr);
        ASSERT_EQ(problem.fits_side, 98) << problem.reason;
        const std::string advice = shrink_advice(path, problem.header, problem.fits_side, t.tools);
        const std::string prefix = "; to shrink it to that: mv -n " + path + " " + dir_.file("hmap-large-2.bmp") +
                                   " && [ ! -e " + path + " ] && " + t.tool + " ";
        ASSERT_EQ(advice.compare(0, prefix.size(), prefix), 0) << advice;
        expect_safe_pasted_twice(advice.substr(advice.find("mv ")), std::string(bytes.begin(), bytes.end()),
                                 dir_.file("hmap-large-2.bmp"), path, dir_.file("hmap-large.bmp"));
        ALLEGRO_BITMAP* image = held(load_heightmap(path.c_str(), problem, fixed_memory_budget(2199999)));
        ASSERT_NE(image, nullptr) << t.tool << ": " << problem.reason;
        EXPECT_EQ(al_get_bitmap_width(image), 98) << t.tool;
        EXPECT_EQ(al_get_bitmap_height(image), 98) << t.tool;
    }
}

TEST_F(HeightmapFile, AHeaderRewrittenWhileLoadingNeverGetsPastTheCheck) {
    // The file's size field is rewritten in place, again and again, between
    // the honest 64 x 64 and a lie of 4000 x 4000 that its 5 KB cannot hold.
    std::vector<uint8_t> honest;
    ASSERT_TRUE(encode_bmp(grey_picture(64, 64, std::vector<uint8_t>(4096, 70)), BmpLayout::palette8, false, honest));
    const std::string path = dir_.file("hmap.bmp");
    ASSERT_TRUE(write_file(path, honest));
    const int fd = open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    auto write_sides = [fd](uint32_t side) {
        std::vector<uint8_t> size(8);
        put32_at(size, 0, side);
        put32_at(size, 4, side);
        return pwrite(fd, size.data(), size.size(), BMP_WIDTH_AT) == 8;
    };
    // Every time: the lie written just after the honest header was checked,
    // when the memory is first asked about, before the copy is read.
    {
        const MemoryBudget rewriting = [&] {
            write_sides(4000);
            return MemoryLimit{64 << 20, "for the height image"};
        };
        HeightmapProblem problem;
        EXPECT_EQ(load_heightmap(path.c_str(), problem, rewriting), nullptr);
        EXPECT_TRUE(problem.refused);
        EXPECT_TRUE(contains(problem.reason, "bytes, but its header promises a 4000 x 4000 8-bit image"))
            << problem.reason;
        ASSERT_TRUE(write_sides(64));
    }
    // Then however two threads take turns.
    std::atomic<bool> done{false};
    std::atomic<unsigned> flips{0};
    std::thread flipper([&] {
        const uint32_t sides[] = {64, 4000};
        for (unsigned i = 0; !done && write_sides(sides[i % 2]); i++) flips++;
    });
    while (flips < 100) std::this_thread::yield();
    // Until each header has been met often, however the two threads take turns.
    int shown = 0, refused = 0;
    for (int run = 0; run < 20000 && (shown < 50 || refused < 50); run++) {
        HeightmapProblem problem;
        ALLEGRO_BITMAP* image = load_heightmap(path.c_str(), problem, fixed_memory_budget(64 << 20));
        if (image) {
            shown++;
            EXPECT_EQ(al_get_bitmap_width(image), 64);
            EXPECT_EQ(al_get_bitmap_height(image), 64);
            al_destroy_bitmap(image);
        } else {
            refused++;
            // 4000 x 4000, or a mix of both headers should a write be read half done.
            EXPECT_TRUE(contains(problem.reason, "bytes, but its header promises a ")) << problem.reason;
        }
    }
    done = true;
    flipper.join();
    close(fd);
    EXPECT_GE(shown, 50);
    EXPECT_GE(refused, 50);
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
    put32_at(huge, BMP_WIDTH_AT, 0x7FFFFFFF);
    put32_at(huge, BMP_HEIGHT_AT, 0x80000000);  // -2^31: 2^31 rows top-down
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
        {"skip down a row, then a line end", {0, 2, 0, 1, 4, 9, 0, 0}, true},
        {"cut inside a skip", {0, 2, 1}, false},
    };
    BmpHeader header{4, 2, 8, BmpPixels::rle8, 0, 40};
    for (const auto& c : cases) {
        size_t at = 0;
        auto next = [&] { return at < c.data.size() ? c.data[at++] : -1; };
        EXPECT_EQ(bmp_rle_complete(header, next), c.complete) << c.name;
    }
    // At 4 bits, 5 stored pixels take 3 bytes, padded to 4.
    BmpHeader rle4{5, 1, 4, BmpPixels::rle4, 0, 40};
    std::vector<int> data = {0, 5, 0x12, 0x34, 0x50, 0, 0, 1};
    size_t at = 0;
    EXPECT_TRUE(bmp_rle_complete(rle4, [&] { return at < data.size() ? data[at++] : -1; }));
}

TEST(HeightmapSize, RefusesWhatTheMemoryOrTheLibraryCannotHold) {
    // What a refusal says a pixel costs is what the check counts.
    EXPECT_EQ(heightmap_bytes(1000, 2000), 1000 * 2000 * BYTES_PER_PIXEL);
    EXPECT_EQ(heightmap_bytes(1000, 2000), 440000000u);
    EXPECT_EQ(heightmap_bytes(INT64_MAX, 2), UINT64_MAX);
    const struct {
        int64_t width, height;
        uint64_t spare;
        const char* problem;  // a part of it; "" for none
    } sizes[] = {
        {0, 100, 22000, ""},
        {0, 100, 21999, "hmap.bmp is 0 x 100 pixels: it holds no terrain, yet has more rows than an image one"},
        {100, 100, 2200000, ""},
        {100, 100, 2199999, "hmap.bmp is 100 x 100 pixels, too large for the memory here: its terrain needs 2 MB"},
        {100, 100, 2199999, "limit. At most 98 x 98 pixels fit"},
        {23171, 23171, 20 * GiB, "At most 9780 x 9780 pixels fit"},
        {23170, 23170, UINT64_MAX, ""},
        {23171, 23171, UINT64_MAX, "23171 x 23171 pixels, too large for the image library: it holds at most 536870911"},
        {23171, 23171, 20 * GiB, "needs 118.1 GB (220 bytes a pixel for the mesh and the decoded image), and 21.5 GB "
                                 "can be spared under the test's limit"},
        // The library counts a row's bytes in an int, even for no rows.
        {536870910, 0, UINT64_MAX, ""},
        {536870911, 0, UINT64_MAX, "536870911 x 0 pixels, too large for the image library: it counts a row's bytes"},
        {INT32_MAX, 0, UINT64_MAX, "2147483647 x 0 pixels, too large for the image library"},
        {0, int64_t(1) << 31, UINT64_MAX, "0 x 2147483648 pixels, too large for the image library"},
    };
    for (const auto& s : sizes) {
        int64_t side = 0;
        std::string problem = heightmap_size_problem("hmap.bmp", s.width, s.height,
                                                     MemoryLimit{s.spare, "under the test's limit"}, &side);
        if (*s.problem == '\0')
            EXPECT_EQ(problem, "") << s.width << " x " << s.height;
        else
            EXPECT_TRUE(contains(problem, s.problem)) << problem;
        EXPECT_EQ(side != 0, contains(problem, "pixels fit")) << problem;
    }
}

TEST(HeightmapSize, TheShrinkCommandIsForAToolHereThatReadsTheImageAndCanHoldIt) {
    // What Debian's ImageMagick reports: 16000 pixels a side, not 16384.
    const ImageMagickPolicy debian = read_imagemagick_policy(
        "Version: ImageMagick 6.9.11-60 Q16 x86_64 2021-01-25 https://imagemagick.org\n"
        "Features: Cipher DPC Modules OpenMP(4.5)\nResource limits:\n  Width: 16KP\n  Height: 16KP\n"
        "  List length: unlimited\n  Area: 128MP\n  Memory: 256MiB\n  Map: 512MiB\n  Disk: 1GiB\n  File: 15000\n");
    // Read a little low, never high: it prints six figures.
    const auto about = [](uint64_t read, double said) { return read <= said && read + 1 >= said * (1 - 2e-5); };
    EXPECT_TRUE(about(debian.width, 16000)) << debian.width;
    EXPECT_TRUE(about(debian.area, 128e6)) << debian.area;
    EXPECT_TRUE(about(debian.memory, 256 << 20)) << debian.memory;
    EXPECT_TRUE(about(debian.map, 512 << 20)) << debian.map;
    EXPECT_TRUE(about(debian.disk, 1 << 30)) << debian.disk;
    EXPECT_EQ(debian.sample_bytes, 2);
    const ImageMagickPolicy unlimited = read_imagemagick_policy(
        "Version: ImageMagick 7.1.1-15 Q16-HDRI aarch64\n  Width: unlimited\n  Height: unlimited\n"
        "  Area: unlimited\n  Memory: 11.7738MiB\n  Disk: unlimited\n");
    EXPECT_EQ(unlimited.sample_bytes, 4);
    EXPECT_TRUE(about(unlimited.memory, 11.7738 * (1 << 20))) << unlimited.memory;
    EXPECT_EQ(unlimited.width, UINT64_MAX);
    const BmpHeader plain = {0, 0, 8, BmpPixels::raw, 1078, 40}, rgb = {0, 0, 24, BmpPixels::raw, 54, 40},
                    version5 = {0, 0, 32, BmpPixels::raw, 138, 124};
    const struct {
        int64_t width, height, side;
        BmpHeader header;
        ShrinkTools tools;
        const char* advice;  // a part of it
    } cases[] = {
        {100, 100, 98, plain, {true, true, debian}, "that: mv -n hmap.bmp hmap-large.bmp && [ ! -e hmap.bmp ] && "
                                                    "convert hmap-large.bmp -resize 98x98 BMP3:hmap.bmp"},
        // Within Debian's width, height and area, past its memory and disk.
        {11000, 11000, 9184, plain, {true, true, debian}, "that: mv -n hmap.bmp hmap-large.bmp && [ ! -e hmap.bmp ] "
                                                          "&& gdal_translate -of BMP -r average -outsize 9184 0 "
                                                          "hmap-large.bmp hmap.bmp"},
        {16001, 100, 9000, plain, {true, true, debian}, "gdal_translate -of BMP -r average -outsize 9000 0 "},
        // A palette image takes ImageMagick two more copies: this one stopped
        // it here ("cache resources exhausted"); 24-bit, 7210 x 7210 did not.
        {6280, 6280, 5233, plain, {true, true, debian}, "gdal_translate -of BMP -r average -outsize 5233 0 "},
        {6280, 6280, 5233, rgb, {true, true, debian}, "convert hmap-large.bmp -resize 5233x5233 BMP3:hmap.bmp"},
        {2000, 60000, 9780, plain, {true, true, debian}, "-outsize 0 9780 hmap-large.bmp hmap.bmp"},
        {11000, 11000, 9184, plain, {true, true, unlimited}, "convert hmap-large.bmp -resize 9184x9184 BMP3:"},
        {11000, 11000, 9184, plain, {false, true, debian}, "install it (Debian: apt-get install gdal-bin)"},
        {11000, 11000, 9184, plain, {false, false, {}},
         "install one (Debian: apt-get install gdal-bin, or imagemagick)"},
        // GDAL reads neither later headers nor 2-bit pixels.
        {11000, 11000, 9184, version5, {true, true, debian}, "raise the limits in ImageMagick's policy.xml (convert "
                                                             "-list policy shows where), then, to shrink it to that: "
                                                             "mv -n hmap.bmp hmap-large.bmp && [ ! -e hmap.bmp ] && "
                                                             "convert "},
        {100, 100, 98, version5, {true, false, {}}, "install it (Debian: apt-get install imagemagick)"},
        {100, 100, 98, {0, 0, 2, BmpPixels::raw, 78, 40}, {true, false, {}}, "apt-get install imagemagick"},
    };
    for (const auto& c : cases) {
        BmpHeader header = c.header;
        header.width = c.width;
        header.height = c.height;
        const std::string advice = shrink_advice("hmap.bmp", header, c.side, c.tools);
        EXPECT_TRUE(contains(advice, c.advice)) << c.width << " x " << c.height << ": " << advice;
    }
}

TEST(ShellWord, ThePrintedPathIsTheShellsOneWordForIt) {
    const struct {
        const char* path;
        const char* word;
    } cases[] = {
        {"hmap.bmp", "hmap.bmp"},
        {"/home/me/50%_maps/hmap.bmp", "/home/me/50%_maps/hmap.bmp"},
        {"my maps/hmap.bmp", "'my maps/hmap.bmp'"},
        {"Ann's/hmap.bmp", "'Ann'\\''s/hmap.bmp'"},
        {"$(touch pwned)", "'$(touch pwned)'"},
        {"`touch pwned`;*", "'`touch pwned`;*'"},
        {"two\nlines", "'two\nlines'"},
        {"", "''"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(shell_word(c.path), c.word);
        // What sh makes of it: the path itself, and nothing run.
        EXPECT_EQ(shell(std::string("cd /tmp && printf '%s|' ") + shell_word(c.path)), std::string(c.path) + "|");
    }
}

TEST_F(HeightmapFile, TheCopyAndTheDecoderMustFitToo) {
    // A 1 x 1 image in a 1082-byte file: 220 bytes once loaded, but the whole
    // file is read, then decoded, first.
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(encode_bmp(grey_picture(1, 1, {42}), BmpLayout::palette8, false, bytes));
    ASSERT_EQ(bytes.size(), 1082u);
    HeightmapProblem problem;
    ALLEGRO_BITMAP* image = load(bytes, problem, fixed_memory_budget(1091));
    ASSERT_NE(image, nullptr) << problem.reason;
    EXPECT_EQ(load(bytes, problem, fixed_memory_budget(1090)), nullptr);
    EXPECT_EQ(problem.reason, dir_.file("hmap.bmp") + " is 1 x 1 pixels in 1082 bytes of the file: reading and "
                                                       "decoding them needs 1091 bytes, and 1090 bytes can be spared "
                                                       "for the height image");
}
