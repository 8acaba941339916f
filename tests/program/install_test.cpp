// The installed viewer: cmake --install into a prefix of its own, then the
// viewer from PREFIX/bin on the sample from PREFIX/share/terrain-viewer, and
// the README and the manual page where they belong, and the sample and the
// recipe named where the installed viewer says they are.
#include <gtest/gtest.h>

#include <algorithm>

#include "viewer_run.h"

TEST(Install, TheInstalledViewerShowsTheInstalledSample) {
    TempDir prefix;
    const std::string install = "cmake --install '" BUILD_DIR "' --prefix '" + prefix.path() + "' >/dev/null";
    ASSERT_EQ(std::system(install.c_str()), 0);
    ViewerRun run;
    const std::string copy = "cp '" + prefix.file("share/terrain-viewer/hmap.bmp") + "' '" + run.folder().path() + "'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    for (const char* document : {"share/doc/terrain-viewer/README.md", "share/doc/terrain-viewer/copyright",
                                 "share/man/man1/terrain-viewer.1.gz"})
        EXPECT_EQ(std::system(("test -f '" + prefix.file(document) + "'").c_str()), 0) << document;
    ViewerOptions options;
    options.viewer = prefix.file("bin/terrain-viewer");
    run.start(options);
    ASSERT_TRUE(run.wait_for_frames(3)) << run.child().err();
    ASSERT_TRUE(run.press_escape());
    EXPECT_EQ(run.child().exit_code(), 0);
    EXPECT_NE(run.child().out().find("Creating hmap: scanline 255/256\n"), std::string::npos);

    // Where the installed viewer finds the installed sample and recipe.
    const std::string share = prefix.file("share/terrain-viewer");
    const struct {
        const char* image;  // a hostile image's name, or "" for none
        std::string says;
    } cases[] = {
        {"", ". The sample height image is " + share + "/hmap.bmp; to view it: cd " + share + " && " +
                 options.viewer + "\n"},
        {"png_16bit", "mv -n hmap.bmp hmap.png && [ ! -e hmap.bmp ] && " + prefix.file("share/doc/terrain-viewer/examples/dem_to_hmap.sh") +
                          " --shaded hmap.png hmap.bmp\n"},
    };
    for (const auto& c : cases) {
        ViewerRun missing;
        if (*c.image) {
            ASSERT_TRUE(missing.put_hostile_heightmap(c.image));
        }
        BoxCloser closer({"error"});
        missing.start(options);
        ASSERT_TRUE(missing.child().wait_exit(30));
        const std::string& err = missing.child().err();
        EXPECT_EQ(err.compare(err.size() - std::min(err.size(), c.says.size()), c.says.size(), c.says), 0) << err;
    }
}
