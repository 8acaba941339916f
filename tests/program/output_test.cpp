// What the viewer writes, and how a run ends: Escape, the frame limit.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>

#include "viewer_run.h"

namespace {

std::string progress_lines(int rows) {
    std::string text;
    for (int i = 0; i < rows; i++) text += "Creating hmap: scanline " + std::to_string(i) + "/" + std::to_string(rows) + "\n";
    return text;
}

// Start-up line, progress lines, then angle lines and nothing else.
void expect_whole_output(const std::string& out, int rows) {
    const std::string head = "ZEB initialized successfully" + progress_lines(rows);
    ASSERT_EQ(out.substr(0, head.size()), head);
    std::vector<std::string> rest = lines_of(out.substr(head.size()));
    ASSERT_FALSE(rest.empty());
    EXPECT_EQ(rest.front(), "yaw=0, pitch=0");
    for (const auto& line : rest) {
        Angles a;
        EXPECT_TRUE(parse_angles(line, a)) << "not an angle line: " << line;
    }
    EXPECT_EQ(out.back(), '\n');
}

// A terminal turns each line end into "\r\n".
std::string without_returns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

Picture small_terrain() {  // 7 wide, 4 high
    std::vector<uint8_t> levels;
    for (int i = 0; i < 28; i++) levels.push_back(uint8_t(100 + i * 5));
    return grey_picture(7, 4, levels);
}

struct OutputKind {
    const char* name;
    bool line_buffered, terminal;
    std::vector<std::string> arguments;  // to be ignored
};

void PrintTo(const OutputKind& kind, std::ostream* os) { *os << kind.name; }

class OutputTo : public ::testing::TestWithParam<OutputKind> {};

}  // namespace

TEST_P(OutputTo, StartupThenARowLineEachThenTheAnglesUntilEscape) {
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(small_terrain()));
    ViewerOptions options;
    options.line_buffered = GetParam().line_buffered;
    options.terminal = GetParam().terminal;
    options.arguments = GetParam().arguments;
    run.start(options);
    ASSERT_FALSE(run.window().empty());
    if (options.line_buffered || options.terminal) {
        EXPECT_TRUE(run.wait_for_frames(3));
    }
    ASSERT_TRUE(run.press_escape());
    EXPECT_TRUE(run.child().exited_normally());
    EXPECT_EQ(run.child().exit_code(), 0);
    const std::string out = without_returns(run.child().out());
    expect_whole_output(out, 4);
    for (const auto& line : angle_lines(out)) EXPECT_EQ(line, "yaw=0, pitch=0");
    EXPECT_EQ(run.child().err(), "");
    EXPECT_TRUE(run.boxes().empty());
}

INSTANTIATE_TEST_SUITE_P(Viewer, OutputTo,
                         ::testing::Values(OutputKind{"line_buffered_pipe", true, false, {}},
                                           OutputKind{"block_buffered_pipe", false, false, {}},
                                           OutputKind{"terminal", false, true, {}},
                                           OutputKind{"with_arguments", true, false, {"--help", "other.bmp", "-f"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Viewer, EscapeEndsTheRunWithinAFewFrames) {
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(small_terrain()));
    run.start();
    std::string window = run.window();
    ASSERT_FALSE(window.empty());
    ASSERT_TRUE(run.wait_for_frames(20));
    // The viewer is stopped while the key goes down, so the key waits for it
    // when it resumes: what follows counts its frames, not the time the key
    // took to arrive, however many frames a second a small terrain draws.
    run.child().suspend();
    press_key(window, "Escape");
    run.child().drain();
    size_t before = angle_lines(run.child().out()).size();
    run.child().resume();
    bool ended = run.child().wait_exit(10);
    release_key("Escape");
    ASSERT_TRUE(ended);
    EXPECT_EQ(run.child().exit_code(), 0);
    size_t after = angle_lines(run.child().out()).size() - before;
    EXPECT_LE(after, 5u) << "frames shown after Escape went down";
}

TEST(ViewerSlow, EndsByItselfAfter190000Frames) {
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(grey_picture(1, 1, {156})));
    ViewerOptions options;
    options.line_buffered = false;
    run.start(options);
    ASSERT_TRUE(run.child().wait_exit(900));
    EXPECT_TRUE(run.child().exited_normally());
    EXPECT_EQ(run.child().exit_code(), 0);
    const std::string& out = run.child().out();
    expect_whole_output(out, 1);
    std::vector<std::string> angles = angle_lines(out);
    EXPECT_EQ(angles.size(), 190000u);
    EXPECT_EQ(lines_of(out).size(), 1u + 190000u);  // the first line also carries the start-up text
}

// Standard streams closed or full: the X connection never takes a closed
// stream's number, and output that could not be written is not a success.
struct StreamCase {
    const char* name;
    std::vector<int> closed_fds;
    std::string stdout_path;
    std::string fail_step;  // a start-up step whose failure writes to standard error
    int exit_code;
    std::string err;  // standard error, exactly
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class Streams : public ::testing::TestWithParam<StreamCase> {};

TEST_P(Streams, NeitherConfuseTheDisplayNorPassForSuccess) {
    const StreamCase& c = GetParam();
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(small_terrain()));
    BoxCloser closer({"ZEB init error"});
    ViewerOptions options;
    options.closed_fds = c.closed_fds;
    options.stdout_path = c.stdout_path;
    options.fail_step = c.fail_step;
    run.start(options);
    ASSERT_FALSE(run.window().empty());
    usleep(500000);  // frames go by, their lines out of sight
    ASSERT_TRUE(run.press_escape());
    EXPECT_TRUE(run.child().exited_normally()) << "signal " << run.child().signal();
    EXPECT_EQ(run.child().exit_code(), c.exit_code) << run.child().err();
    EXPECT_EQ(run.child().err(), c.err);
    EXPECT_EQ(closer.seen().size(), c.fail_step.empty() ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Viewer, Streams,
    ::testing::Values(StreamCase{"stdout_closed", {STDOUT_FILENO}, "", "", 0, ""},
                      StreamCase{"stdin_and_stdout_closed", {STDIN_FILENO, STDOUT_FILENO}, "", "", 0, ""},
                      StreamCase{"stderr_closed_when_a_step_fails", {STDERR_FILENO}, "", "init_ttf_addon", 0, ""},
                      StreamCase{"stdout_on_a_full_device", {}, "/dev/full", "", 1,
                                 "terrain-viewer: output to standard output was lost: No space left on device\n"}),
    [](const auto& info) { return std::string(info.param.name); });
