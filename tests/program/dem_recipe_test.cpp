// The README's recipe for one's own elevation data (scripts/dem_to_hmap.sh),
// run as a user runs it on a 16-bit elevation PNG and a GeoTIFF written here,
// then the viewer on the height image it made.
#include <gtest/gtest.h>

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

// A 16-bit grey PGM of the elevations (both tools read it).
bool write_elevations(const std::string& path, bool with_no_data) {
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << WIDTH << " " << HEIGHT << "\n65535\n";
    for (int row = 0; row < HEIGHT; row++)
        for (int column = 0; column < WIDTH; column++) {
            int value = with_no_data && column == NO_DATA_COLUMN && row == NO_DATA_ROW ? NO_DATA : elevation(column, row);
            out.put(char(value >> 8)).put(char(value & 0xFF));
        }
    return bool(out);
}

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
    bool geotiff;
    bool shaded;
    int low, high;  // the levels the recipe promises for the lowest and highest ground
};

void PrintTo(const RecipeCase& c, std::ostream* out) { *out << c.name; }

class DemRecipe : public ::testing::TestWithParam<RecipeCase> {};

TEST_P(DemRecipe, PutsTheElevationsOnItsLevelsAndTheViewerShowsThem) {
    const RecipeCase& c = GetParam();
    TempDir dem;
    ASSERT_TRUE(write_elevations(dem.file("dem.pgm"), c.geotiff));
    std::string model;
    if (c.geotiff) {
        if (std::system("command -v gdal_translate >/dev/null") != 0)
            GTEST_SKIP() << "GDAL is not installed (scripts/setup.sh installs gdal-bin)";
        model = dem.file("dem.tif");
        ASSERT_EQ(std::system(("gdal_translate -q -ot Int16 -a_srs EPSG:4326 -a_ullr 7 47 8 46 -a_nodata " +
                               std::to_string(NO_DATA) + " '" + dem.file("dem.pgm") + "' '" + model + "'")
                                  .c_str()),
                  0);
    } else {
        model = dem.file("dem.png");
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
            if (c.geotiff && column == NO_DATA_COLUMN && row == NO_DATA_ROW) want = 0;  // no data: the lowest level
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
                         ::testing::Values(RecipeCase{"png_full_range", false, false, 0, 255},
                                           RecipeCase{"png_shaded_levels", false, true, 1, 50},
                                           RecipeCase{"geotiff_full_range", true, false, 0, 255},
                                           RecipeCase{"geotiff_shaded_levels", true, true, 1, 50}),
                         [](const ::testing::TestParamInfo<RecipeCase>& info) { return std::string(info.param.name); });

}  // namespace
