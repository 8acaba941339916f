// Failures a user can meet: no image or a bad one, a library part that does
// not start, an image too large to draw (no X display: x_server_test.cpp). Each ends with its box
// and a line on standard error, a non-zero exit and never a signal or a hang.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <memory>

#include "viewer_run.h"

namespace {

const std::string LOL_BOX = "(null)|error|lol|lol|(null)|2";
const char* const NOT_AN_IMAGE = "not an image the library can read (unreadable, empty, truncated or corrupt)";

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Makes the height image of `bytes`.
std::function<void(const std::string& path)> file_of(const std::string& bytes) {
    return [bytes](const std::string& path) { std::ofstream(path, std::ios::binary) << bytes; };
}

// Makes a 4 x 4 24-bit BMP with `change` made to its bytes.
std::function<void(const std::string& path)> changed_bmp(void (*change)(std::vector<uint8_t>&)) {
    std::vector<uint8_t> bytes;
    encode_bmp(grey_picture(4, 4, std::vector<uint8_t>(16, 100)), BmpLayout::rgb24, false, bytes);
    change(bytes);
    return file_of(std::string(bytes.begin(), bytes.end()));
}

// Bad or hostile height images: a box and a line on standard error give the
// reason, and nothing is built. What the library cannot read shows its "lol"
// box; what the viewer refuses before anything is decoded shows the reason.
// The viewer runs under an address-space limit of 4 GB, so the images too
// large for the memory here are too large on any machine.
struct BadImage {
    const char* name;                                    // a hostile one's as in tools/hostile_bmp.h
    std::function<void(const std::string& path)> make;  // none: the hostile image of that name
    std::string reason;  // after "cannot load the height image hmap.bmp: ", or the start of a refusal's
    bool refused = false;
};

BadImage hostile(const char* name, const char* reason) { return {name, nullptr, reason, true}; }

void PrintTo(const BadImage& image, std::ostream* os) { *os << image.name; }

class BadHeightmap : public ::testing::TestWithParam<BadImage> {};

}  // namespace

TEST_P(BadHeightmap, IsRefusedWithItsReasonInABox) {
    const BadImage& c = GetParam();
    ViewerRun run;
    if (c.make) {
        c.make(run.folder().file("hmap.bmp"));
    } else {
        ASSERT_TRUE(run.put_hostile_heightmap(c.name));
    }
    BoxCloser closer(ALL_BOXES);
    ViewerOptions options;
    // 4 GB of address space, so that refusals of sizes read the same on any
    // machine. The sanitized viewer cannot start under a limit: there the
    // texts hold on a machine with less than 66 GB to spare.
    if (!UNDER_ASAN) options.limit = "--as=4000000000";
    run.start(options);
    ASSERT_TRUE(run.child().wait_exit(30)) << "still running after 30 s";
    expect_failed_cleanly(run.child());
    const std::string& err = run.child().err();
    ASSERT_EQ(err.compare(0, 16, "terrain-viewer: "), 0) << err;
    EXPECT_EQ(err.back(), '\n');
    const std::string reason = err.substr(16, err.size() - 17);
    if (c.refused) {
        EXPECT_EQ(reason.compare(0, c.reason.size(), c.reason), 0) << reason;
        EXPECT_EQ(run.boxes(), std::vector<std::string>{"(null)|error||" + reason + "|(null)|2"});
    } else {
        EXPECT_EQ(reason, "cannot load the height image hmap.bmp: " + c.reason);
        EXPECT_EQ(run.boxes(), std::vector<std::string>{LOL_BOX});
    }
    EXPECT_EQ(closer.seen(), std::vector<std::string>{"error"});
    EXPECT_EQ(run.child().out(), "ZEB initialized successfully");  // nothing built
}

INSTANTIATE_TEST_SUITE_P(
    Viewer, BadHeightmap,
    ::testing::Values(
        BadImage{"missing", [](const std::string&) {}, NO_IMAGE_LINE.substr(NO_IMAGE_LINE.find("no such file"))},
        BadImage{"empty_file", file_of(""), NOT_AN_IMAGE},
        BadImage{"garbage", file_of(std::string(3000, '\x5a')), NOT_AN_IMAGE},
        BadImage{"truncated_header", changed_bmp([](auto& b) { b.resize(30); }), NOT_AN_IMAGE},
        BadImage{"seven_bits_a_pixel", changed_bmp([](auto& b) { b[BMP_BITS_AT] = 7; }), NOT_AN_IMAGE},
        BadImage{"negative_width", changed_bmp([](auto& b) { put32_at(b, BMP_WIDTH_AT, uint32_t(-4)); }), NOT_AN_IMAGE},
        BadImage{"dangling_link", [](const std::string& p) { (void)!symlink("gone/hmap.bmp", p.c_str()); },
                 "it is a link to a missing file (gone/hmap.bmp)"},
        BadImage{"a_folder", [](const std::string& p) { mkdir(p.c_str(), 0755); }, "it is a folder, not an image"},
        hostile("lying_24bit_9900x1000",
                "hmap.bmp holds 1300 bytes, but its header promises a 9900 x 1000 24-bit image, which needs 29700054 "
                "bytes: the file is cut short or corrupt"),
        hostile("lying_8bit_top_down_3200x3200", "hmap.bmp holds 1300 bytes, but its header promises a 3200 x 3200 "
                                                 "8-bit image, which needs 10241078 bytes"),
        hostile("lying_32bit_23170x23170", "hmap.bmp holds 1300 bytes, but its header promises a 23170 x 23170 "
                                           "32-bit image, which needs 2147395722 bytes"),
        hostile("lying_1bit_30000x30000", "hmap.bmp holds 1300 bytes, but its header promises a 30000 x 30000 "
                                          "1-bit image, which needs 112560060 bytes"),
        hostile("lying_os2_65535x65535", "hmap.bmp holds 1300 bytes, but its header promises a 65535 x 65535 "
                                         "8-bit image, which needs 4294902553 bytes"),
        hostile("cut_in_half", "hmap.bmp holds 33307 bytes, but its header promises a 256 x 256 8-bit image, which "
                               "needs 66614 bytes"),
        hostile("offset_past_end", "hmap.bmp holds 12342 bytes, but its header promises a 64 x 64 24-bit image, "
                                   "which needs 24631 bytes"),
        hostile("rle8_cut_2000x2000", "hmap.bmp ends inside its compressed pixels (1090 bytes), before the 2000 x "
                                      "2000 image its header promises"),
        hostile("rle8_blank_30000x30000", "hmap.bmp is 30000 x 30000 pixels, too large for the memory here: its "
                                          "terrain needs 198.0 GB (220 bytes a pixel"),
        hostile("sparse_23171x23171", "hmap.bmp is 23171 x 23171 pixels, too large for the memory here: its "
                                      "terrain needs 118.1 GB"),
        hostile("zero_width_301989887_rows", "hmap.bmp is 0 x 301989887 pixels: it holds no terrain, yet has more "
                                             "rows than an image one pixel wide could have here"),
        hostile("rle8_cut_late", "hmap.bmp ends inside its compressed pixels (81475 bytes), before the 200 x 200 "
                                 "image its header promises"),
        hostile("widest_row_2147483647x0", "hmap.bmp is 2147483647 x 0 pixels, too large for the image library: it "
                                           "counts a row's bytes and the rows in an int, so it takes at most "
                                           "536870910 pixels a row"),
        hostile("jpeg_claiming_23170x23170", "hmap.bmp holds a JPEG image, and the viewer reads BMP images only. To convert it with ImageMagick: mv -n hmap.bmp hmap.jpg && [ ! -e hmap.bmp ] && convert hmap.jpg -colorspace Gray -depth 8 BMP3:hmap.bmp"),
        hostile("tga_claiming_32768x32768", "hmap.bmp holds a TGA image, and the viewer reads BMP images only. To convert it with ImageMagick: mv -n hmap.bmp hmap.tga && [ ! -e hmap.bmp ] && convert hmap.tga -colorspace Gray -depth 8 BMP3:hmap.bmp"),
        hostile("pcx_cut", "hmap.bmp holds a PCX image, and the viewer reads BMP images only. To convert it with ImageMagick: mv -n hmap.bmp hmap.pcx && [ ! -e hmap.bmp ] && convert hmap.pcx -colorspace Gray -depth 8 BMP3:hmap.bmp"),
        hostile("tga_rgb_cut", "hmap.bmp holds a TGA image, and the viewer reads BMP images only. To convert it with ImageMagick: mv -n hmap.bmp hmap.tga && [ ! -e hmap.bmp ] && convert hmap.tga -colorspace Gray -depth 8 BMP3:hmap.bmp"),
        hostile("tga_grey", "hmap.bmp holds a TGA image, and the viewer reads BMP images only. To convert it with ImageMagick: mv -n hmap.bmp hmap.tga && [ ! -e hmap.bmp ] && convert hmap.tga -colorspace Gray -depth 8 BMP3:hmap.bmp"),
        hostile("png_grey", "hmap.bmp holds a PNG image, and the viewer reads BMP images only. To convert it with ImageMagick: mv -n hmap.bmp hmap.png && [ ! -e hmap.bmp ] && convert hmap.png -colorspace Gray -depth 8 BMP3:hmap.bmp"),
        hostile("png_16bit", "hmap.bmp holds a PNG image of 16-bit samples, and the viewer reads BMP images only. If "
                             "it is an elevation model, an 8-bit conversion would squeeze its heights into the lowest "
                             "few levels, all black; to spread them over the viewer's shaded levels: mv -n hmap.bmp "
                             "hmap.png && [ ! -e hmap.bmp ] && " DEM_TO_HMAP " --shaded hmap.png hmap.bmp"),
        hostile("named_pipe", "hmap.bmp is a named pipe, not a regular file")),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProcessLimit, ADataLimitRefusesWhatItCannotHoldAndNamesIt) {
    // 2048 x 2048 needs 923 MB: under a data limit of 500 MB the mesh could
    // not be allocated, so the viewer refuses before it tries.
    if (UNDER_ASAN) GTEST_SKIP() << "AddressSanitizer cannot start under a data limit";
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(grey_picture(2048, 2048, std::vector<uint8_t>(2048 * 2048, 120))));
    BoxCloser closer(ALL_BOXES);
    ViewerOptions options;
    options.limit = "--data=500000000";
    run.start(options);
    ASSERT_TRUE(run.child().wait_exit(30));
    expect_failed_cleanly(run.child());
    const std::string& err = run.child().err();
    EXPECT_TRUE(contains(err, "terrain-viewer: hmap.bmp is 2048 x 2048 pixels, too large for the memory here: its "
                              "terrain needs 923 MB")) << err;
    EXPECT_TRUE(contains(err, "can be spared under the process's data-segment limit of 500 MB (ulimit -d). At most "))
        << err;
    EXPECT_TRUE(contains(err, "pixels fit; to shrink it to that: mv -n hmap.bmp hmap-large.bmp && [ ! -e hmap.bmp ] && "
                              "convert hmap-large.bmp -resize ")) << err;
    EXPECT_EQ(closer.seen(), std::vector<std::string>{"error"});
    EXPECT_EQ(run.child().out(), "ZEB initialized successfully");
}

// Labelled slow (tests/CMakeLists.txt): 2.2 GB and several seconds.
TEST(LargeMesh, OverTheDrawBoundIsDrawnInSlicesWithoutACrash) {
    // 2.16 GB of vertices: one draw call over them all crashes the renderer.
    ViewerRun run;
    ASSERT_TRUE(run.put_hostile_heightmap("over_draw_bound_3160x3160"));
    run.start();
    ASSERT_TRUE(run.wait_for_frames(3, 90)) << run.child().err();
    ASSERT_TRUE(run.press_escape(30));
    EXPECT_TRUE(run.child().exited_normally()) << "signal " << run.child().signal();
    EXPECT_EQ(run.child().exit_code(), 0);
    EXPECT_EQ(run.child().err(), "");
    EXPECT_TRUE(contains(run.child().out(), "Creating hmap: scanline 3159/3160\n"));
}

// A start-up step that fails: its box names it, later steps are never tried,
// and the run goes on until something needs the missing part.
struct StepFailure {
    const char* step;
    const char* then;  // "display", "image", "drawing" or "runs"
};

void PrintTo(const StepFailure& failure, std::ostream* os) { *os << failure.step; }

class FailingStep : public ::testing::TestWithParam<StepFailure> {};

TEST_P(FailingStep, NamesTheStepAndDegradesWithoutCrashing) {
    const std::vector<std::string> order = {"init", "install_keyboard", "install_mouse", "install_audio",
                                            "init_acodec_addon", "init_font_addon", "init_image_addon",
                                            "init_primitives_addon", "init_ttf_addon", "init_video_addon"};
    const std::string step = GetParam().step, then = GetParam().then;
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(grey_picture(3, 2, {150, 160, 170, 180, 190, 200})));
    BoxCloser closer(ALL_BOXES);
    ViewerOptions options;
    options.fail_step = step;
    run.start(options);
    if (then == "runs") {
        ASSERT_TRUE(run.wait_for_frames(3, 30));
        ASSERT_TRUE(run.press_escape());
        EXPECT_EQ(run.child().exit_code(), 0);
    } else {
        ASSERT_TRUE(run.child().wait_exit(30));
        expect_failed_cleanly(run.child());
    }

    // Tried in order up to the failing step, and not one step further.
    std::vector<std::string> tried(order.begin(), std::find(order.begin(), order.end(), step) + 1);
    EXPECT_EQ(run.steps(), tried);
    const std::string message = "Allegro5 error: al_" + step + "() failed";
    std::vector<std::string> boxes = run.boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0], "(null)|ZEB init error||" + message + "|(null)|2");
    const std::string& err = run.child().err();
    EXPECT_TRUE(contains(err, "ZEB init error: " + message + "\n")) << err;
    EXPECT_FALSE(contains(run.child().out(), "ZEB initialized successfully"));

    std::vector<std::string> titles = {"ZEB init error"};
    // What follows names the failed step, not the missing add-on.
    const std::string stopped = "cannot load the height image hmap.bmp: start-up stopped when al_" + step +
                                "() failed, so the image add-on was not started\n";
    if (then == "display") {
        // No library, so no image add-on either: both boxes, then the end.
        titles.insert(titles.end(), {"ZEB error", "error"});
        EXPECT_TRUE(contains(err, NO_WINDOW)) << err;
        EXPECT_TRUE(contains(err, stopped)) << err;
    } else if (then == "image") {
        titles.push_back("error");
        EXPECT_TRUE(contains(err, stopped)) << err;
    } else if (then == "drawing") {
        EXPECT_TRUE(contains(run.child().out(), "Creating hmap: scanline 1/2\n"));
        EXPECT_TRUE(contains(err, "cannot show the terrain: the primitives add-on is not running")) << err;
    }
    EXPECT_EQ(closer.seen(), titles);
}

INSTANTIATE_TEST_SUITE_P(Viewer, FailingStep,
                         ::testing::Values(StepFailure{"init", "display"}, StepFailure{"install_keyboard", "image"},
                                           StepFailure{"install_mouse", "image"}, StepFailure{"install_audio", "image"},
                                           StepFailure{"init_acodec_addon", "image"},
                                           StepFailure{"init_font_addon", "image"},
                                           StepFailure{"init_image_addon", "image"},
                                           StepFailure{"init_primitives_addon", "drawing"},
                                           StepFailure{"init_ttf_addon", "runs"},
                                           StepFailure{"init_video_addon", "runs"}),
                         [](const auto& info) { return std::string(info.param.step); });
