// The README's recipe for one's own elevation data (scripts/dem_to_hmap.sh),
// run as a user runs it on a 16-bit elevation PNG and a GeoTIFF written here,
// then the viewer on the height image it made.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "viewer_run.h"

namespace {

constexpr int WIDTH = 64, HEIGHT = 48;
// The GeoTIFF's no-data value, in one cell: above every elevation, so a
// recipe that counted it would squeeze all the others together.
constexpr int NO_DATA = 32767;
constexpr int NO_DATA_COLUMN = 40, NO_DATA_ROW = 3;

// Metres, rising over the columns and the rows: lowest in the first cell,
// highest in the last.
int elevation(int column, int row) { return 1200 + 23 * column + 9 * row; }

// A 16-bit grey model of the elevations, `width` x `height`: a PGM (both tools
// read it), or a MIFF when the name says so (ImageMagick's own: GDAL cannot).
bool write_elevations(const std::string& path, bool with_no_data, bool flat = false, int width = WIDTH,
                      int height = HEIGHT) {
    std::ofstream out(path, std::ios::binary);
    if (path.size() > 5 && path.compare(path.size() - 5, 5, ".miff") == 0)
        out << "id=ImageMagick\nclass=DirectClass colorspace=Gray depth=16\ncolumns=" << width << " rows=" << height
            << "\n\f\n:\x1a";
    else
        out << "P5\n" << width << " " << height << "\n65535\n";
    for (int row = 0; row < height; row++)
        for (int column = 0; column < width; column++) {
            int value = with_no_data && column == NO_DATA_COLUMN && row == NO_DATA_ROW ? NO_DATA : elevation(column, row);
            if (flat) value = 1500;
            out.put(char(value >> 8)).put(char(value & 0xFF));
        }
    return bool(out);
}

bool have_gdal() { return std::system("command -v gdal_translate >/dev/null") == 0; }

// The blue levels of a height image, row by row (the viewer's heights), as
// ImageMagick reads them; empty if it cannot.
std::vector<int> blue_levels(const std::string& path) {
    std::istringstream pgm(shell("convert '" + path + "' -channel B -separate -depth 8 -compress none pgm:- 2>&1"));
    std::string magic;
    int width = 0, height = 0, top = 0;
    pgm >> magic >> width >> height >> top;
    if (magic != "P2" || width != WIDTH || height != HEIGHT) return {};
    std::vector<int> levels(WIDTH * HEIGHT);
    for (int& level : levels) pgm >> level;
    return pgm ? levels : std::vector<int>{};
}

struct RecipeCase {
    const char* name;
    const char* kind;  // the model's file: "png", "tif" (GeoTIFF), "nc" (NetCDF: GDAL only), "miff" (ImageMagick only)
    bool shaded;
    int low, high;  // the levels the recipe promises for the lowest and highest ground
};

void PrintTo(const RecipeCase& c, std::ostream* out) { *out << c.name; }

class DemRecipe : public ::testing::TestWithParam<RecipeCase> {};

TEST_P(DemRecipe, PutsTheElevationsOnItsLevelsAndTheViewerShowsThem) {
    const RecipeCase& c = GetParam();
    const std::string kind = c.kind;
    const bool geotiff = kind == "tif";
    TempDir dem;
    ASSERT_TRUE(write_elevations(dem.file(kind == "miff" ? "dem.miff" : "dem.pgm"), geotiff));
    std::string model = dem.file("dem." + kind);
    if (kind == "tif" || kind == "nc") {
        if (!have_gdal()) GTEST_SKIP() << "GDAL is not installed (scripts/setup.sh installs gdal-bin)";
        const std::string to = geotiff ? "-ot Int16 -a_srs EPSG:4326 -a_ullr 7 47 8 46 -a_nodata " +
                                             std::to_string(NO_DATA)
                                       : "-of netCDF -ot Int16";
        ASSERT_EQ(std::system(("gdal_translate -q " + to + " '" + dem.file("dem.pgm") + "' '" + model + "'").c_str()),
                  0);
    } else if (kind == "png") {
        ASSERT_EQ(std::system(("convert '" + dem.file("dem.pgm") + "' '" + model + "'").c_str()), 0);
        ASSERT_EQ(shell("identify -format '%z %[channels]' '" + model + "'"), "16 gray");
    }
    ViewerRun run;
    const std::string hmap = run.folder().file("hmap.bmp");
    const std::string recipe =
        std::string("'" DEM_TO_HMAP "' ") + (c.shaded ? "--shaded '" : "'") + model + "' '" + hmap + "' >/dev/null";
    ASSERT_EQ(std::system(recipe.c_str()), 0) << recipe;

    const std::vector<int> levels = blue_levels(hmap);
    ASSERT_EQ(levels.size(), size_t(WIDTH * HEIGHT)) << shell("identify '" + hmap + "' 2>&1");
    const double lowest = elevation(0, 0), highest = elevation(WIDTH - 1, HEIGHT - 1);
    int wrong = 0;
    for (int row = 0; row < HEIGHT; row++) {
        for (int column = 0; column < WIDTH; column++) {
            const int level = levels[row * WIDTH + column];
            double want = c.low + (c.high - c.low) * (elevation(column, row) - lowest) / (highest - lowest);
            if (geotiff && column == NO_DATA_COLUMN && row == NO_DATA_ROW) want = 0;  // no data: the lowest level
            // Rounded either way by the tools.
            if (std::abs(level - want) >= 1 && wrong++ < 5)
                ADD_FAILURE() << "cell (" << column << ", " << row << ") is at level " << level << ", not " << want;
        }
    }
    EXPECT_EQ(levels.front(), c.low);
    EXPECT_EQ(levels.back(), c.high);

    run.start();
    ASSERT_TRUE(run.wait_for_frames(3)) << run.child().err();
    ASSERT_TRUE(run.press_escape());
    EXPECT_EQ(run.child().exit_code(), 0) << run.child().err();
    EXPECT_NE(run.child().out().find("Creating hmap: scanline 47/48\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Recipe, DemRecipe,
                         ::testing::Values(RecipeCase{"png_full_range", "png", false, 0, 255},
                                           RecipeCase{"png_shaded_levels", "png", true, 1, 50},
                                           RecipeCase{"geotiff_full_range", "tif", false, 0, 255},
                                           RecipeCase{"geotiff_shaded_levels", "tif", true, 1, 50},
                                           RecipeCase{"netcdf_full_range", "nc", false, 0, 255},
                                           RecipeCase{"miff_shaded_levels", "miff", true, 1, 50}),
                         [](const ::testing::TestParamInfo<RecipeCase>& info) { return std::string(info.param.name); });

// What the recipe must not do: overwrite the model, take a name for an
// option, say it wrote what it did not, hide why ImageMagick stopped, or put
// flat ground on different levels by its two routes. Models named "flat..."
// are flat, "wide..." 20000 x 2 (over ImageMagick's width limit here);
// ".miff" ones go to ImageMagick alone; "link.bmp" is a link to the model.
struct Misuse {
    const char* name;
    const char* model;
    const char* output;
    const char* err;  // what standard error must hold
    int exit_code;
};

void PrintTo(const Misuse& c, std::ostream* out) { *out << c.name; }

class DemRecipeMisuse : public ::testing::TestWithParam<Misuse> {};

TEST_P(DemRecipeMisuse, KeepsTheModelAndSaysWhatHappened) {
    const Misuse& c = GetParam();
    const std::string model = c.model, output = c.output;
    const bool miff = model.find(".miff") != std::string::npos, wide = model.compare(0, 4, "wide") == 0,
               flat = model.compare(0, 4, "flat") == 0;
    if (!miff && !have_gdal()) GTEST_SKIP() << "GDAL is not installed (scripts/setup.sh installs gdal-bin)";
    if (wide && shell("identify -list resource | sed -n 's/^ *Width: //p'") == "unlimited")
        GTEST_SKIP() << "ImageMagick has no width limit here";
    TempDir folder;
    ASSERT_TRUE(write_elevations(folder.file(model), false, flat, wide ? 20000 : WIDTH, wide ? 2 : HEIGHT));
    const std::string model_bytes = read_file(folder.file(model));
    ASSERT_TRUE(output != "link.bmp" || symlink(c.model, folder.file(output).c_str()) == 0);
    if (output == "hmap.bmp") std::ofstream(folder.file(output)) << "the last one";
    // "--" ends the options; a name like an option is a file even without it.
    const std::string said = shell("cd '" + folder.path() + "' && '" DEM_TO_HMAP "' --shaded" + (miff ? " -- '" : " '") +
                                   model + "' '" + output + "' 2>&1 >/dev/null; echo \"exit $?\"");
    EXPECT_NE(said.find(c.err), std::string::npos) << said;
    EXPECT_NE(said.find("exit " + std::to_string(c.exit_code)), std::string::npos) << said;
    EXPECT_EQ(read_file(folder.file(model)), model_bytes) << "the model was changed";
    EXPECT_EQ(shell("ls -A '" + folder.path() + "' | grep -c '^\\.' || true"), "0") << "a temporary file was left";
    if (c.exit_code != 0) {
        EXPECT_TRUE(output != "hmap.bmp" || read_file(folder.file(output)) == "the last one") << "replaced";
        return;
    }
    const std::vector<int> levels = blue_levels(folder.file(output));
    ASSERT_EQ(levels.size(), size_t(WIDTH * HEIGHT)) << "no height image: " << said;
    EXPECT_EQ(*std::min_element(levels.begin(), levels.end()), 1);
    EXPECT_EQ(*std::max_element(levels.begin(), levels.end()), flat ? 1 : 50);  // flat ground: the lowest level
}

INSTANTIATE_TEST_SUITE_P(
    Recipe, DemRecipeMisuse,
    ::testing::Values(
        Misuse{"output_is_the_model", "dem.pgm", "dem.pgm", "is the elevation model itself", 1},
        Misuse{"output_links_to_the_model", "dem.pgm", "link.bmp", "is the elevation model itself", 1},
        Misuse{"names_like_options_by_gdal", "-help", "-out.bmp", "", 0},
        Misuse{"names_like_options_by_imagemagick", "-help.miff", "-out.bmp", "", 0},
        Misuse{"flat_by_gdal", "flat.pgm", "hmap.bmp", "warning: flat.pgm is flat", 0},
        Misuse{"flat_by_imagemagick", "flat.miff", "hmap.bmp", "warning: flat.miff is flat", 0},
        Misuse{"over_imagemagick_width_limit", "wide.miff", "hmap.bmp",
               "ImageMagick's resource policy stopped it: wide.miff is wider or taller than its width and height "
               "limits",
               1}),
    [](const ::testing::TestParamInfo<Misuse>& info) { return std::string(info.param.name); });

}  // namespace
