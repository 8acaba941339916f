// How a failure is told: its line is on standard error before its box shows
// (so it is on record even if the box never closes or cannot show), and the
// line stands on a line of its own where standard output meets it.
#include <gtest/gtest.h>

#include <memory>

#include "viewer_run.h"

namespace {

struct Failure {
    const char* name;
    const char* box;          // the first box's title
    const char* line;         // what standard error holds once it shows
    const char* fail_step;    // a start-up step to fail, or ""
    const char* image;        // "sample", "none" or a hostile image's name
    bool x_without_opengl;    // the viewer's own X server has no GLX
};

void PrintTo(const Failure& failure, std::ostream* os) { *os << failure.name; }

class ErrorBox : public ::testing::TestWithParam<Failure> {};

}  // namespace

TEST_P(ErrorBox, ShowsAfterItsLineIsOnStandardError) {
    const Failure& f = GetParam();
    ViewerRun run;
    const std::string image = f.image;
    if (image == "sample") {
        ASSERT_TRUE(run.put_heightmap(grey_picture(2, 2, {150, 160, 170, 180})));
    } else if (image != "none") {
        ASSERT_TRUE(run.put_hostile_heightmap(image));
    }
    std::unique_ptr<PrivateXServer> x;
    ViewerOptions options;
    options.fail_step = f.fail_step;
    if (f.x_without_opengl) {
        x = std::make_unique<PrivateXServer>("-extension GLX");
        ASSERT_FALSE(x->display().empty());
        options.display = x->display();
    }
    run.start(options);

    ASSERT_FALSE(wait_for_window(std::string("^") + f.box + "$", 10, options.display).empty())
        << "no " << f.box << " box; stderr: " << run.child().err();
    run.child().drain();
    std::string line = f.line;  // "<display>" stands for the viewer's display
    if (size_t at = line.find("<display>"); at != std::string::npos) line.replace(at, 9, options.display);
    EXPECT_EQ(run.child().err(), line + "\n");

    BoxCloser closer(ALL_BOXES, options.display);
    ASSERT_TRUE(run.child().wait_exit(30));
    EXPECT_TRUE(run.child().exited_normally()) << "signal " << run.child().signal();
}

INSTANTIATE_TEST_SUITE_P(
    Viewer, ErrorBox,
    ::testing::Values(
        Failure{"start_up_step", "ZEB init error", "ZEB init error: Allegro5 error: al_init_primitives_addon() failed",
                "init_primitives_addon", "sample", false},
        Failure{"no_window", "ZEB error",
                "terrain-viewer: no window could be opened (800x600: the X display <display> (from DISPLAY) has no "
                "OpenGL: its server lacks the GLX extension)",
                "", "sample", true},
        Failure{"missing_image", "error", NO_IMAGE_LINE.c_str(), "", "none", false},
        Failure{"refused_image", "error", "terrain-viewer: hmap.bmp is a named pipe, not a regular file", "",
                "named_pipe", false}),
    [](const auto& info) { return std::string(info.param.name); });

// Standard output and error reaching one place: the start-up line, left open
// for the first progress line, is ended before an error line follows it.
struct Place {
    const char* name;
    bool terminal;              // both on one pseudo-terminal
    const char* redirection;    // else both sent by a shell: "2>&1" (one pipe), "> out.txt 2>&1"
};

void PrintTo(const Place& place, std::ostream* os) { *os << place.name; }

class SharedStreams : public ::testing::TestWithParam<Place> {};

TEST_P(SharedStreams, EndTheOpenStartUpLineBeforeAnErrorLine) {
    const Place& place = GetParam();
    ViewerRun run;  // no height image: its line follows the start-up line
    BoxCloser closer({"error"});
    ViewerOptions options;
    options.terminal = place.terminal;
    if (!place.terminal) {
        options.viewer = "/bin/sh";
        options.arguments = {"-c", std::string("exec \"$0\" ") + place.redirection, VIEWER_PATH};
    }
    run.start(options);
    ASSERT_TRUE(run.child().wait_exit(30));
    EXPECT_EQ(run.child().exit_code(), 1);
    const bool to_file = std::string(place.redirection).find("out.txt") != std::string::npos;
    const std::string text = to_file ? read_file(run.folder().file("out.txt")) : run.child().out();
    std::string lines;
    for (const std::string& line : lines_of(text)) lines += line + "\n";  // a terminal's "\r\n" as "\n"
    EXPECT_EQ(lines, "ZEB initialized successfully\n" + NO_IMAGE_LINE + "\n");
}

INSTANTIATE_TEST_SUITE_P(Viewer, SharedStreams,
                         ::testing::Values(Place{"terminal", true, ""}, Place{"one_pipe", false, "2>&1"},
                                           Place{"one_file", false, "> out.txt 2>&1"}),
                         [](const auto& info) { return std::string(info.param.name); });
