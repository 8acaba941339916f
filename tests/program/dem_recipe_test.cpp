// The README's recipe for one's own elevation data (scripts/dem_to_hmap.sh),
// run as a user runs it on elevation models written here (16-bit images by
// ImageMagick, GeoTIFFs and NetCDF of every band type by GDAL), then the
// viewer on the height image it made.
#include <gtest/gtest.h>

#include <sys/stat.h>
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
// The cells written as no data, or as NaN (in float models).
constexpr int NO_DATA_COLUMN = 40, NO_DATA_ROW = 3, NAN_COLUMN = 10, NAN_ROW = 20;

// Which step from the lowest cell, the first, a cell lies: rising over the
// columns and the rows, highest in the last.
int steps(int column, int row) { return 2 * column + row; }

// `text` as one word for sh.
std::string quoted(const std::string& text) {
    std::string word = "'";
    for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

// A 16-bit grey model, 1200 + 7 a step, `width` x `height`: a PGM (both
// tools read it), or a MIFF when the name says so (ImageMagick's own: GDAL
// cannot).
bool write_elevations(const std::string& path, bool flat = false, int width = WIDTH, int height = HEIGHT) {
    std::ofstream out(path, std::ios::binary);
    if (path.size() > 5 && path.compare(path.size() - 5, 5, ".miff") == 0)
        out << "id=ImageMagick\nclass=DirectClass colorspace=Gray depth=16\ncolumns=" << width << " rows=" << height
            << "\n\f\n:\x1a";
    else
        out << "P5\n" << width << " " << height << "\n65535\n";
    for (int row = 0; row < height; row++)
        for (int column = 0; column < width; column++) {
            const int value = flat ? 1500 : 1200 + 7 * steps(column, row);
            out.put(char(value >> 8)).put(char(value & 0xFF));
        }
    return bool(out);
}

bool have_gdal() { return std::system("command -v gdal_translate >/dev/null") == 0; }

// The blue levels of a height image, row by row (the viewer's heights), as
// ImageMagick reads them; empty if it cannot.
std::vector<int> blue_levels(const std::string& path) {
    std::istringstream pgm(
        shell("convert bmp:- -channel B -separate -depth 8 -compress none pgm:- <" + quoted(path) + " 2>&1"));
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
    // The model's file: "png" (a 16-bit PNG), "miff" (ImageMagick only); or
    // "tif" (GeoTIFF), "nc" (NetCDF: GDAL only), written by GDAL from the
    // cells as text with the options `gdal` (band type, no-data value, scale
    // and offset), then `then` when given (statistics stored before the
    // no-data value was set, as some tools leave them).
    const char* kind;
    const char* gdal;
    const char* then;
    double base, step;    // the cells as stored: base + step x steps(column, row)
    const char* no_data;  // the no-data cell's stored text; "" for none
    bool nan;             // a NaN cell, never declared as no data
    bool shaded;
    int low, high;  // the levels the recipe promises for the lowest and highest ground
};

void PrintTo(const RecipeCase& c, std::ostream* out) { *out << c.name; }

// The cells as text, as Arc/Info's ASCII grid holds them.
bool write_cells(const std::string& path, const RecipeCase& c) {
    std::ofstream out(path);
    out << "ncols " << WIDTH << "\nnrows " << HEIGHT << "\nxllcorner 7\nyllcorner 46\ncellsize 0.01\n";
    out.precision(12);
    for (int row = 0; row < HEIGHT; row++)
        for (int column = 0; column < WIDTH; column++) {
            if (*c.no_data && column == NO_DATA_COLUMN && row == NO_DATA_ROW)
                out << c.no_data;
            else if (c.nan && column == NAN_COLUMN && row == NAN_ROW)
                out << "nan";
            else
                out << c.base + c.step * steps(column, row);
            out << (column + 1 < WIDTH ? " " : "\n");
        }
    return bool(out);
}

class DemRecipe : public ::testing::TestWithParam<RecipeCase> {};

TEST_P(DemRecipe, PutsTheElevationsOnItsLevelsAndTheViewerShowsThem) {
    const RecipeCase& c = GetParam();
    const std::string kind = c.kind;
    TempDir dem;
    const std::string model = dem.file("dem." + kind);
    if (kind == "tif" || kind == "nc") {
        if (!have_gdal()) GTEST_SKIP() << "GDAL is not installed (scripts/setup.sh installs gdal-bin)";
        ASSERT_TRUE(write_cells(dem.file("dem.asc"), c));
        const std::string made = *c.then ? dem.file("first.tif") : model;
        const std::string make = std::string("gdal_translate -q ") + c.gdal + " " + quoted(dem.file("dem.asc")) + " " +
                                 quoted(made) + (*c.then ? std::string(" && gdal_translate -q ") + c.then + " " +
                                                               quoted(made) + " " + quoted(model)
                                                         : "");
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
    } else {
        ASSERT_TRUE(write_elevations(dem.file(kind == "miff" ? "dem.miff" : "dem.pgm")));
        if (kind == "png") {
            ASSERT_EQ(std::system(("convert " + quoted(dem.file("dem.pgm")) + " " + quoted(model)).c_str()), 0);
            ASSERT_EQ(shell("identify -format '%z %[channels]' " + quoted(model)), "16 gray");
        }
    }
    ViewerRun run;
    const std::string hmap = run.folder().file("hmap.bmp");
    const std::string recipe =
        quoted(DEM_TO_HMAP) + (c.shaded ? " --shaded " : " ") + quoted(model) + " " + quoted(hmap) + " >/dev/null";
    ASSERT_EQ(std::system(recipe.c_str()), 0) << recipe;

    const std::vector<int> levels = blue_levels(hmap);
    ASSERT_EQ(levels.size(), size_t(WIDTH * HEIGHT)) << shell("identify " + quoted(hmap) + " 2>&1");
    // Stored depths under a negative scale: the deepest is the lowest ground.
    const bool depths = std::string(c.gdal).find("-a_scale -") != std::string::npos;
    const int last = steps(WIDTH - 1, HEIGHT - 1);
    int wrong = 0;
    for (int row = 0; row < HEIGHT; row++) {
        for (int column = 0; column < WIDTH; column++) {
            const int level = levels[row * WIDTH + column];
            const int up = depths ? last - steps(column, row) : steps(column, row);
            double want = c.low + (c.high - c.low) * double(up) / last;
            if ((*c.no_data && column == NO_DATA_COLUMN && row == NO_DATA_ROW) ||
                (c.nan && column == NAN_COLUMN && row == NAN_ROW))
                want = 0;  // no data: level 0, below the rest
            // Rounded either way by the tools.
            if (std::abs(level - want) >= 1 && wrong++ < 5)
                ADD_FAILURE() << "cell (" << column << ", " << row << ") is at level " << level << ", not " << want;
        }
    }
    EXPECT_EQ(levels.front(), depths ? c.high : c.low);
    EXPECT_EQ(levels.back(), depths ? c.low : c.high);

    run.start();
    ASSERT_TRUE(run.wait_for_frames(3)) << run.child().err();
    ASSERT_TRUE(run.press_escape());
    EXPECT_EQ(run.child().exit_code(), 0) << run.child().err();
    EXPECT_NE(run.child().out().find("Creating hmap: scanline 47/48\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Recipe, DemRecipe,
    ::testing::Values(
        RecipeCase{"png_full_range", "png", "", "", 1200, 7, "", false, false, 0, 255},
        RecipeCase{"png_shaded_levels", "png", "", "", 1200, 7, "", false, true, 1, 50},
        RecipeCase{"miff_shaded_levels", "miff", "", "", 1200, 7, "", false, true, 1, 50},
        RecipeCase{"netcdf_full_range", "nc", "-of netCDF -ot Int16", "", 1200, 7, "", false, false, 0, 255},
        RecipeCase{"geotiff_byte_no_data_0", "tif", "-ot Byte -a_nodata 0", "", 40, 1, "0", false, true, 1, 50},
        // Below the sea too, with statistics that count the no-data cell.
        RecipeCase{"geotiff_int16_stale_statistics", "tif", "-ot Int16 -stats", "-a_nodata -32768", -400, 9,
                   "-32768", false, false, 0, 255},
        RecipeCase{"geotiff_int16_depths_negative_scale", "tif", "-ot Int16 -a_scale -1 -a_offset 0", "", 0, 10, "",
                   false, true, 1, 50},
        RecipeCase{"geotiff_uint16_over_32767", "tif", "-ot UInt16 -a_nodata 65535", "", 1000, 300, "65535", false,
                   false, 0, 255},
        RecipeCase{"geotiff_int32_over_65535", "tif", "-ot Int32", "", 100000, 1000, "", false, true, 1, 50},
        RecipeCase{"geotiff_float32_nan_no_data", "tif", "-ot Float32 -a_nodata nan", "", 141.5, 0.25, "nan", false,
                   false, 0, 255},
        // Kilometres: a range of 0.00173, finer than GDAL prints it.
        RecipeCase{"geotiff_float64_kilometres_and_nan", "tif", "-ot Float64 -a_nodata -9999", "", 0.1412, 0.00001,
                   "-9999", true, true, 1, 50}),
    [](const ::testing::TestParamInfo<RecipeCase>& info) { return std::string(info.param.name); });

// What the recipe must not do: overwrite the model, take a name for an
// option or a pattern, say it wrote what it did not, hide why ImageMagick
// stopped, put flat ground on different levels by its two routes, leave a
// file behind, or give the height image another mode than new files get
// under the umask. Models named "flat..." are flat, "wide..." 20000 x 2
// (over ImageMagick's width limit here); ".miff" ones go to ImageMagick
// alone; "link.bmp" is a link to the model.
struct Misuse {
    const char* name;
    const char* model;
    const char* output;
    const char* err;  // what standard error must hold
    int exit_code;
    int umask = 022;
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
    // In a folder whose name holds a space and a pattern ImageMagick fills
    // in, with the work files in a folder of the test's.
    TempDir top;
    const std::string folder = top.file("maps 50%d"), work = top.file("tmp");
    const auto at = [&](const std::string& name) { return folder + "/" + name; };
    ASSERT_EQ(mkdir(folder.c_str(), 0700) | mkdir(work.c_str(), 0700), 0);
    ASSERT_TRUE(write_elevations(at(model), flat, wide ? 20000 : WIDTH, wide ? 2 : HEIGHT));
    const std::string model_bytes = read_file(at(model));
    ASSERT_TRUE(output != "link.bmp" || symlink(c.model, at(output).c_str()) == 0);
    if (output == "hmap.bmp") std::ofstream(at(output)) << "the last one";
    // "--" ends the options; a name like an option is a file even without it.
    const std::string said =
        shell("cd " + quoted(folder) + " && umask " + std::to_string(c.umask / 8) + std::to_string(c.umask % 8) +
              " && TMPDIR=" + quoted(work) + " " + quoted(DEM_TO_HMAP) + " --shaded" + (miff ? " -- " : " ") +
              quoted(model) + " " + quoted(output) + " 2>&1 >/dev/null; echo \"exit $?\"");
    EXPECT_NE(said.find(c.err), std::string::npos) << said;
    EXPECT_NE(said.find("exit " + std::to_string(c.exit_code)), std::string::npos) << said;
    EXPECT_EQ(read_file(at(model)), model_bytes) << "the model was changed";
    EXPECT_EQ(shell("ls -A " + quoted(folder) + " | grep -cvxF -e " + quoted(model) + " -e " +
                    quoted(output.substr(output.rfind('/') + 1)) +
                    "; ls -A " + quoted(work)),
              "0")
        << "a file was left: " << shell("ls -AR " + quoted(top.path()));
    if (c.exit_code != 0) {
        EXPECT_TRUE(output != "hmap.bmp" || read_file(at(output)) == "the last one") << "replaced";
        return;
    }
    struct stat info;  // the mode any new file gets under the umask
    ASSERT_EQ(stat(at(output).c_str(), &info), 0);
    EXPECT_EQ(int(info.st_mode & 0777), 0666 & ~c.umask) << shell("ls -l " + quoted(at(output)));
    const std::vector<int> levels = blue_levels(at(output));
    ASSERT_EQ(levels.size(), size_t(WIDTH * HEIGHT)) << "no height image: " << said;
    EXPECT_EQ(*std::min_element(levels.begin(), levels.end()), 1);
    EXPECT_EQ(*std::max_element(levels.begin(), levels.end()), flat ? 1 : 50);  // flat ground: the lowest level
}

INSTANTIATE_TEST_SUITE_P(
    Recipe, DemRecipeMisuse,
    ::testing::Values(
        Misuse{"output_is_the_model", "dem.pgm", "dem.pgm", "is the elevation model itself", 1},
        Misuse{"output_links_to_the_model", "dem.pgm", "link.bmp", "is the elevation model itself", 1},
        // Like an option, with a space, a quote and a pattern ImageMagick fills in.
        Misuse{"odd_names_by_gdal", "-a b'%d.pgm", "-h%d 'c.bmp", "", 0},
        Misuse{"odd_names_by_imagemagick", "-a b'%d.miff", "-h%d 'c.bmp", "", 0},
        Misuse{"pattern_in_the_output_folder_by_imagemagick", "dem.miff", "../maps 50%d/hmap.bmp", "", 0},
        Misuse{"flat_by_gdal", "flat.pgm", "hmap.bmp", "warning: flat.pgm is flat", 0, 077},
        Misuse{"flat_by_imagemagick", "flat.miff", "hmap.bmp", "warning: flat.miff is flat", 0, 077},
        Misuse{"over_imagemagick_width_limit", "wide.miff", "hmap.bmp",
               "ImageMagick's resource policy stopped it: wide.miff is wider or taller than its width and height "
               "limits",
               1}),
    [](const ::testing::TestParamInfo<Misuse>& info) { return std::string(info.param.name); });

}  // namespace
