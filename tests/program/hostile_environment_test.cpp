// A hostile environment around the real viewer: a reader that closes the pipe
// early, a file-size limit. Each ends with a line on standard error and
// status 1, never a signal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "viewer_run.h"

namespace {

Picture terrain() {  // 64 x 64, so start-up alone prints about 2 KB
    std::vector<uint8_t> levels(64 * 64);
    for (size_t i = 0; i < levels.size(); i++) levels[i] = uint8_t(i * 7);
    return grey_picture(64, 64, levels);
}

void expect_exit_1_without_a_signal(Child& child) {
    EXPECT_TRUE(child.exited_normally()) << "ended by signal " << child.signal() << "; stderr: " << child.err();
    EXPECT_EQ(child.exit_code(), 1) << child.err();
}

std::string last_line(const std::string& text) {
    std::vector<std::string> lines = lines_of(text);
    return lines.empty() ? "" : lines.back();
}

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A reader that stops early: it closes the pipe once it has seen enough.
struct Reader {
    const char* name;
    bool line_buffered;
    std::function<bool(const std::string& out)> enough;
};

void PrintTo(const Reader& reader, std::ostream* os) { *os << reader.name; }

class ReaderGone : public ::testing::TestWithParam<Reader> {};

}  // namespace

TEST_P(ReaderGone, TheWindowStaysAndTheEndSaysTheOutputWasLost) {
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(terrain()));
    ViewerOptions options;
    options.line_buffered = GetParam().line_buffered;
    run.start(options);
    ASSERT_TRUE(run.child().wait_for_output(GetParam().enough, 20)) << run.child().err();
    run.child().close_out();
    usleep(1000000);  // frames go on, their lines written to no one
    ASSERT_TRUE(run.child().running()) << "ended by signal " << run.child().signal();
    ASSERT_TRUE(run.press_escape());
    expect_exit_1_without_a_signal(run.child());
    EXPECT_EQ(run.child().err(), "terrain-viewer: output to standard output was lost: Broken pipe\n");
}

INSTANTIATE_TEST_SUITE_P(
    Viewer, ReaderGone,
    ::testing::Values(Reader{"head_c_300", false, [](const std::string& out) { return out.size() >= 300; }},
                      Reader{"grep_m1_yaw", true,
                             [](const std::string& out) { return !angle_lines(out).empty(); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HostileEnvironment, AFileSizeLimitCutsTheOutputNotTheRun) {
    // The limit bites twice: in the sound library's start-up (a 64 MiB
    // shared buffer) and once the output reaches 300 bytes.
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(terrain()));
    ViewerOptions options;
    options.viewer = "/usr/bin/prlimit";
    options.arguments = {"--fsize=300", VIEWER_PATH};
    options.stdout_path = run.folder().file("out.txt");
    run.start(options);
    ASSERT_FALSE(run.window().empty()) << run.child().err();
    usleep(500000);
    ASSERT_TRUE(run.press_escape());
    expect_exit_1_without_a_signal(run.child());
    EXPECT_EQ(last_line(run.child().err()), "terrain-viewer: output to standard output was lost: File too large");
    const std::string written = file_text(options.stdout_path);
    EXPECT_EQ(written.size(), 300u);  // all it could take, nothing lost before the limit
    const std::string start =
        "ZEB initialized successfullyCreating hmap: scanline 0/64\nCreating hmap: scanline 1/64\n";
    EXPECT_EQ(written.compare(0, start.size(), start), 0) << written;
}
