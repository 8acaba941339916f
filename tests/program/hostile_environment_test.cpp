// A hostile environment around the real viewer: a reader that closes the pipe
// early, a file-size limit, too little address space for the renderer or
// barely enough for the terrain, memory that runs out (the X server's
// tricks: x_server_test.cpp; threads and sound: start_up_limits_test.cpp).
// Each shows the terrain or ends with a line on standard error and status 1,
// never a signal.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "sample_landscape.h"
#include "test_clock.h"
#include "viewer_run.h"

namespace {

Picture terrain() {  // 64 x 64, so start-up alone prints about 2 KB
    std::vector<uint8_t> levels(64 * 64);
    for (size_t i = 0; i < levels.size(); i++) levels[i] = uint8_t(i * 7);
    return grey_picture(64, 64, levels);
}

std::string last_line(const std::string& text) {
    std::vector<std::string> lines = lines_of(text);
    return lines.empty() ? "" : lines.back();
}

// A reader that stops early: it closes the pipe once it has seen enough.
struct Reader {
    const char* name;
    bool line_buffered;
    std::function<bool(const std::string& out)> enough;
};

void PrintTo(const Reader& reader, std::ostream* os) { *os << reader.name; }

class ReaderGone : public ::testing::TestWithParam<Reader> {};

// A version 1 memory cgroup of its own, under the test's, with a limit;
// removed again at the end. `why_not` says why none could be made.
class MemoryGroup {
public:
    explicit MemoryGroup(uint64_t limit) {
        std::string own;
        for (const std::string& line : lines_of(read_file("/proc/self/cgroup")))
            if (line.find(":memory:") != std::string::npos) own = line.substr(line.find(":memory:") + 8);
        path_ = "/sys/fs/cgroup/memory" + own + "/terrain-test-" + std::to_string(getpid());
        if (own.empty())
            why_not = "no version 1 memory controller to make a cgroup in";
        else if (mkdir(path_.c_str(), 0755) != 0)
            why_not = "cannot make the memory cgroup " + path_ + " (" + strerror(errno) + "): it takes root";
        else if (!(std::ofstream(path_ + "/memory.limit_in_bytes") << limit << std::flush))
            why_not = "cannot set a memory cgroup's limit";
    }
    ~MemoryGroup() {
        // Its processes have been reaped; the kernel lets go of it a moment later.
        for (int i = 0; i < 100 && rmdir(path_.c_str()) != 0 && errno == EBUSY; i++) usleep(20000);
    }
    // Runs the viewer inside the group.
    void enter(ViewerOptions& options) const {
        options.viewer = "/bin/sh";
        options.arguments = {"-c", "echo $$ > \"$0\" && exec \"$1\"", path_ + "/cgroup.procs", VIEWER_PATH};
    }
    std::string why_not;

private:
    std::string path_;
};

}  // namespace

TEST_P(ReaderGone, TheWindowStaysAndTheEndSaysTheOutputWasLost) {
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(terrain()));
    ViewerOptions options;
    options.line_buffered = GetParam().line_buffered;
    run.start(options);
    ASSERT_TRUE(run.child().wait_for_output(GetParam().enough, 20)) << run.child().err();
    run.child().close_out();
    // Frames go on, their lines written to no one.
    ASSERT_TRUE(run.wait_for_frame_after_lost_output()) << "ended by signal " << run.child().signal();
    ASSERT_TRUE(run.press_escape());
    expect_failed_cleanly(run.child());
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
    options.limit = "--fsize=300";
    options.stdout_path = run.folder().file("out.txt");
    run.start(options);
    ASSERT_FALSE(run.window().empty()) << run.child().err();
    ASSERT_TRUE(run.wait_for_frame_after_lost_output()) << run.child().err();
    ASSERT_TRUE(run.press_escape());
    expect_failed_cleanly(run.child());
    EXPECT_EQ(last_line(run.child().err()), "terrain-viewer: output to standard output was lost: File too large");
    const std::string written = read_file(options.stdout_path);
    EXPECT_EQ(written.size(), 300u);  // all it could take, nothing lost before the limit
    const std::string start =
        "ZEB initialized successfullyCreating hmap: scanline 0/64\nCreating hmap: scanline 1/64\n";
    EXPECT_EQ(written.compare(0, start.size(), start), 0) << written;
}

TEST(HostileEnvironment, AnAddressSpaceTooSmallForTheRendererOpensNoWindow) {
    // Under 350 MB of address space Mesa's software renderer cannot start:
    // the library would run out part way and crash, or the X server refuse
    // the OpenGL context. The viewer does not try, and says why.
    if (UNDER_ASAN) GTEST_SKIP() << "AddressSanitizer cannot start under an address-space limit";
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(terrain()));
    BoxCloser closer({"ZEB error"});
    ViewerOptions options;
    options.limit = "--as=350000000";
    run.start(options);
    ASSERT_TRUE(run.child().wait_exit(30));
    expect_failed_cleanly(run.child());
    const std::string expected = "terrain-viewer: no window could be opened (800x600: the address-space limit "
                                 "(ulimit -v) leaves ";
    EXPECT_EQ(lines_of(run.child().err()).front().compare(0, expected.size(), expected), 0) << run.child().err();
    EXPECT_EQ(last_line(run.child().err()), "terrain-viewer: cannot show the terrain: there is no display");
    EXPECT_EQ(closer.seen(), std::vector<std::string>{"ZEB error"});  // the box has room to show
}

TEST(HostileEnvironment, UnderAnyAddressSpaceLimitTheRunEndsWithoutASignal) {
    // From too little for the renderer, through a window with no room left
    // for the image's box, to room for the sample: shown, or refused with a
    // line and its box, never a crash.
    if (UNDER_ASAN) GTEST_SKIP() << "AddressSanitizer cannot start under an address-space limit";
    int shown = 0, refused = 0;
    for (int megabytes = 140; megabytes <= 900; megabytes += 40) {
        ViewerRun run;
        ASSERT_EQ(std::system(("cp '" SAMPLE_HEIGHTMAP "' '" + run.folder().file("hmap.bmp") + "'").c_str()), 0);
        BoxCloser closer({"error", "ZEB error"});
        ViewerOptions options;
        options.limit = "--as=" + std::to_string(megabytes) + "000000";
        run.start(options);
        // The first frame, or the end: however long a loaded machine takes to start.
        if (run.child().wait_for_output([](const std::string& out) { return out.find("yaw=") != std::string::npos; },
                                        60)) {
            shown++;
            EXPECT_TRUE(run.press_escape()) << megabytes << " MB";
            EXPECT_EQ(run.child().exit_code(), 0) << megabytes << " MB: " << run.child().err();
            continue;
        }
        ASSERT_TRUE(run.child().wait_exit(30)) << megabytes << " MB";
        EXPECT_TRUE(run.child().exited_normally()) << megabytes << " MB: signal " << run.child().signal() << ", "
                                                   << run.child().err();
        EXPECT_EQ(run.child().exit_code(), 1) << megabytes << " MB";
        EXPECT_EQ(last_line(run.child().err()).compare(0, 16, "terrain-viewer: "), 0) << run.child().err();
        EXPECT_FALSE(closer.seen().empty()) << megabytes << " MB: no box for " << run.child().err();
        refused++;
    }
    EXPECT_GT(shown, 0);
    EXPECT_GT(refused, 0);
}

TEST(HostileEnvironment, TheLargestTerrainALimitLetsInIsDrawnDownItsRowsByEitherRoute) {
    // Looking down the rows of a large terrain, the renderer needs the most
    // memory for a frame's triangles; the buffer route's copies must leave it
    // that, on the software renderer as in system memory.
    if (UNDER_ASAN) GTEST_SKIP() << "AddressSanitizer cannot start under an address-space limit";
    const std::string limit = "--as=800000000";
    int side = 0;  // of the largest square image the limit lets in, as the refusal of a larger one says
    {
        ViewerRun run;
        ASSERT_TRUE(run.put_heightmap(grey_picture(3000, 3000, std::vector<uint8_t>(3000 * 3000, 120))));
        BoxCloser closer({"error"});
        ViewerOptions options;
        options.limit = limit;
        run.start(options);
        ASSERT_TRUE(run.child().wait_exit(30));
        const std::string& err = run.child().err();
        const size_t at = err.find("At most ");
        ASSERT_NE(at, std::string::npos) << err;
        side = atoi(err.c_str() + at + 8);
        ASSERT_GT(side, 500) << err;
    }
    std::vector<uint8_t> levels;
    for (int r = 0; r < side; r++)
        for (int c = 0; c < side; c++) levels.push_back(sample_level(c, r));
    for (const char* route : {"memory", "buffers"}) {
        ViewerRun run;
        ASSERT_TRUE(run.put_heightmap(grey_picture(side, side, levels)));
        ViewerOptions options;
        options.limit = limit;
        options.environment = {{"TERRAIN_VIEWER_DRAW", route}};
        run.start(options);
        const std::string window = run.window();
        ASSERT_FALSE(window.empty()) << route << ": " << run.child().err();
        ASSERT_TRUE(run.wait_for_frames(1, 60)) << route;
        // To yaw 180 in 45-degree moves, then pitch 75 (or 90) in 37.5-degree ones.
        EXPECT_TRUE(run.turn_until(window, 40, 300, [](Angles a) { return a.yaw == 180; })) << route;
        EXPECT_TRUE(run.turn_until(window, 400, 0, [](Angles a) { return a.pitch >= 75; })) << route;
        run.child().drain();
        EXPECT_TRUE(run.wait_for_frames(all_angles(run.child().out()).size() + 3, 60)) << route;
        EXPECT_TRUE(run.press_escape(60)) << route;
        EXPECT_TRUE(run.child().exited_normally())
            << route << ": ended by signal " << run.child().signal() << "; " << run.child().err();
        EXPECT_EQ(run.child().exit_code(), 0) << route << ": " << run.child().err();
    }
}

TEST(HostileEnvironment, AFailedAllocationEndsWithALineAndTheOutputSoFar) {
    // Every malloc of 100 MB or more fails, as under a memory limit: the
    // first is the mesh's, 216 MB for this 1000 x 1000 image.
    if (UNDER_ASAN) GTEST_SKIP() << "AddressSanitizer's allocator cannot be made to fail from outside";
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(grey_picture(1000, 1000, std::vector<uint8_t>(1000 * 1000, 160))));
    ViewerOptions options;
    options.line_buffered = false;  // what was printed must still come out
    options.viewer = "/usr/bin/env";
    options.arguments = {"ZEB_PROBE_FAIL_MALLOC=100000000", VIEWER_PATH};
    run.start(options);
    ASSERT_TRUE(run.child().wait_exit(30));
    expect_failed_cleanly(run.child());
    EXPECT_EQ(run.child().err(), "terrain-viewer: out of memory: an allocation failed, so the run ends here\n");
    EXPECT_EQ(run.child().out(), "ZEB initialized successfully");
    EXPECT_TRUE(run.boxes().empty());
}

TEST(HostileEnvironment, TwoViewersRacingForAMemoryCgroupAreRefusedNeverKilled) {
    // Each viewer alone fits its 2 GiB: 1.1 GB of mesh for 2260 x 2260. Both
    // pass the check before either has filled much, then fill it together.
    MemoryGroup group(uint64_t(2) << 30);
    if (!group.why_not.empty()) GTEST_SKIP() << group.why_not;
    const int side = 2260;
    const Picture picture = grey_picture(side, side, std::vector<uint8_t>(side * side, 160));
    BoxCloser closer({"error"});
    ViewerRun runs[2];
    for (ViewerRun& run : runs) ASSERT_TRUE(run.put_heightmap(picture));
    for (ViewerRun& run : runs) {
        ViewerOptions options;
        group.enter(options);
        run.start(options);
    }
    // Read both as they go: a viewer whose output is left unread stops filling.
    auto settled = [](Child& c) { return !c.running() || c.out().find("yaw=") != std::string::npos; };
    ASSERT_TRUE(wait_until([&] {
        for (ViewerRun& run : runs) run.child().drain();
        return settled(runs[0].child()) && settled(runs[1].child());
    }, 90));
    int refused = 0;
    for (ViewerRun& run : runs) {
        if (run.child().running()) {  // the one shown
            ASSERT_TRUE(run.press_escape(30));
        }
        ASSERT_TRUE(run.child().wait_exit(30));
        EXPECT_TRUE(run.child().exited_normally()) << "ended by signal " << run.child().signal();
        EXPECT_LE(run.child().exit_code(), 1) << run.child().err();
        if (run.child().exit_code() == 1) {
            refused++;
            const std::string refusal = "terrain-viewer: hmap.bmp is 2260 x 2260 pixels, too large for the memory";
            EXPECT_EQ(last_line(run.child().err()).compare(0, refusal.size(), refusal), 0) << run.child().err();
        }
    }
    EXPECT_GE(refused, 1);
    EXPECT_EQ(closer.seen().size(), size_t(refused));
}
