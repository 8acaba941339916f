// What the viewer writes, and how a run ends: Escape, the close button, the frame limit.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "test_clock.h"
#include "viewer_run.h"

namespace {

// Whole lines only, the last one ended too: the start-up line, then progress
// and angle lines. Given the `rows`, a progress line for each, then only
// angle lines, the first at the start's angles.
void expect_whole_lines(const std::string& out, int rows = -1) {
    const std::string head = "ZEB initialized successfully" + (rows < 0 ? "" : progress_lines(rows));
    ASSERT_EQ(out.compare(0, head.size(), head), 0) << out.substr(0, 100);
    ASSERT_EQ(out.back(), '\n') << out.substr(out.size() - std::min<size_t>(out.size(), 100));
    const std::vector<std::string> rest = lines_of(out.substr(head.size()));
    if (rows >= 0) {
        ASSERT_FALSE(rest.empty());
        EXPECT_EQ(rest.front(), "yaw=0, pitch=0");
    }
    for (const auto& line : rest) {
        Angles a;
        int row, all;
        char tail;
        EXPECT_TRUE(parse_angles(line, a) ||
                    (rows < 0 && sscanf(line.c_str(), "Creating hmap: scanline %d/%d%c", &row, &all, &tail) == 2))
            << line;
    }
}

// Leaves the viewer's output unread in a pipe shrunk to a page until the
// viewer cannot write more: it then waits (or, non-blocking, is refused).
bool fill_output_pipe(Child& viewer) {
    const size_t line = std::string("yaw=0, pitch=0\n").size();
    return viewer.set_output_pipe_bytes(4096) &&
           wait_until([&] { return viewer.unread_output_bytes() + line > 4096; });
}

// A terminal turns each line end into "\r\n".
std::string without_returns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// A build that lasts seconds on any machine: each of its some 44 pieces
// waits 80 ms, one at a time.
constexpr int SLOW_SIDE = 600;
const std::pair<std::string, std::string> SLOW_PIECES{"ZEB_PROBE_PIECE_DELAY_MS", "80"};
Picture slow_terrain() { return grey_picture(SLOW_SIDE, SLOW_SIDE, std::vector<uint8_t>(SLOW_SIDE * SLOW_SIDE, 170)); }
const std::string SLOW_LAST_LINE = "scanline " + std::to_string(SLOW_SIDE - 1) + "/" + std::to_string(SLOW_SIDE);

// How the output goes out, and how the run ends: Escape held until the exit,
// the window manager's close request ("close"), or Escape tapped while a
// full pipe holds the frames still ("tap").
struct OutputKind {
    const char* name;
    bool line_buffered, terminal;
    std::vector<std::string> arguments;  // to be ignored
    std::string end = "Escape";
    std::vector<std::pair<std::string, std::string>> environment = {};
    bool nonblocking = false;  // standard output's pipe O_NONBLOCK, and left full for a while
};

void PrintTo(const OutputKind& kind, std::ostream* os) { *os << kind.name; }

class OutputTo : public ::testing::TestWithParam<OutputKind> {};

}  // namespace

TEST_P(OutputTo, StartupThenARowLineEachThenTheAnglesUntilTheEnd) {
    const OutputKind& c = GetParam();
    // AddressSanitizer starts every thread through code of its own in the
    // program, which the probe would refuse too.
    if (!c.environment.empty() && UNDER_ASAN) GTEST_SKIP() << "AddressSanitizer's threads cannot be told apart";
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(small_terrain()));
    ViewerOptions options;
    options.line_buffered = c.line_buffered;
    options.terminal = c.terminal;
    options.arguments = c.arguments;
    options.environment = c.environment;
    options.nonblocking_stdout = c.nonblocking;
    run.start(options);
    Child& viewer = run.child();
    const std::string window = run.window();
    ASSERT_FALSE(window.empty());
    if (options.line_buffered || options.terminal) {
        EXPECT_TRUE(run.wait_for_frames(3));
    }
    // Left unread, a one-page pipe is full within a few hundred frames and the
    // viewer then waits to print its next line: its frames stand still,
    // however many a second it draws.
    size_t shown = 0;
    if (c.end == "tap" || c.nonblocking) {
        viewer.drain();
        ASSERT_TRUE(fill_output_pipe(viewer)) << "the viewer's output did not fill its pipe";
        shown = viewer.out().size() + viewer.unread_output_bytes();
    }
    if (c.nonblocking) {
        usleep(300000);  // frames go on trying to write meanwhile
        viewer.drain();
        ASSERT_TRUE(run.wait_for_frames(angle_lines(viewer.out()).size() + 20)) << viewer.err();
    }
    if (c.end == "tap") {
        press_key(window, "Escape");
        release_key("Escape");
        usleep(500000);  // the library's event thread takes the keys at once, at worst at its next 0.1 s poll
        ASSERT_TRUE(viewer.wait_exit(10)) << "a tap of Escape while a frame stood still was missed";
        // At most the line the waiting frame prints; the frame after it sees Escape.
        EXPECT_LE(angle_lines(viewer.out().substr(shown)).size(), 1u) << "frames shown after Escape went down";
    } else if (c.end == "close") {
        ask_to_close(window);
        ASSERT_TRUE(viewer.wait_exit(10));
    } else {
        ASSERT_TRUE(run.press_escape());
    }
    EXPECT_TRUE(viewer.exited_normally());
    EXPECT_EQ(viewer.exit_code(), 0);
    const std::string out = without_returns(viewer.out());
    expect_whole_lines(out, 4);
    for (const auto& line : angle_lines(out)) EXPECT_EQ(line, "yaw=0, pitch=0");
    EXPECT_EQ(viewer.err(), "");
    EXPECT_TRUE(run.boxes().empty());
    // Refused, the mesh's threads leave its build to the main thread.
    if (!options.environment.empty() && sysconf(_SC_NPROCESSORS_ONLN) > 1) {
        EXPECT_GT(run.threads_refused(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Viewer, OutputTo,
                         ::testing::Values(OutputKind{"line_buffered_pipe", true, false, {}},
                                           OutputKind{"block_buffered_pipe", false, false, {}},
                                           OutputKind{"terminal", false, true, {}},
                                           OutputKind{"with_arguments", true, false, {"--help", "other.bmp", "-f"}},
                                           OutputKind{"closed_by_its_button", true, false, {}, "close"},
                                           OutputKind{"escape_tapped_between_frames", true, false, {}, "tap"},
                                           OutputKind{"non_blocking_pipe", true, false, {}, "Escape", {}, true},
                                           OutputKind{"no_thread_can_start", true, false, {}, "Escape",
                                                      {{"ZEB_PROBE_FAIL_THREADS", "1"}}}),
                         [](const auto& info) { return std::string(info.param.name); });

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
    expect_whole_lines(out, 1);
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

// Escape, the close button, SIGINT, SIGTERM and SIGHUP end the run at a
// frame's end, or the build while the mesh builds (its progress shown in the
// window meanwhile), whatever is in the output's buffer then written out
// whole. Escape and the button end with status 0, a signal ends the viewer by
// that signal, so the shell sees it. A frame that never ends (a frozen X
// server) holds the end up for seconds only, and the output still ends on a
// whole line.
struct EndCase {
    const char* name;
    std::vector<int> signals;  // sent at once; the viewer ends by one of them. None: `key` ends it
    bool while_building;       // a slow build (slow_terrain), ended during it
    bool output_blocked;       // a full pipe nobody reads until the signals are sent
    const char* box = "";      // the title of a box left waiting for the user when the signal comes
    bool x_frozen = false;     // the X server stopped under the window, the viewer waiting on it
    const char* key = "";      // "Escape", or "close" for the close button
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class EndedEarly : public ::testing::TestWithParam<EndCase> {};

TEST_P(EndedEarly, WithWholeLinesThenByThatSignalOrWithStatus0) {
    const EndCase& c = GetParam();
    ViewerRun run;
    ASSERT_TRUE(run.put_heightmap(c.while_building ? slow_terrain() : small_terrain()));
    ViewerOptions options;
    if (c.while_building) options.environment = {SLOW_PIECES};
    options.line_buffered = false;  // a block left in the buffer must still come out
    if (!c.output_blocked) options.stdout_path = run.folder().file("out.txt");
    if (*c.box) options.fail_step = "init_ttf_addon";
    std::unique_ptr<PrivateXServer> x;
    if (c.x_frozen) {
        x = std::make_unique<PrivateXServer>("");
        options.display = x->display();
    }
    run.start(options);
    Child& viewer = run.child();
    const auto out = [&] { return c.output_blocked ? viewer.out() : read_file(options.stdout_path); };
    const char* started = c.while_building ? "scanline" : "yaw=";
    if (*c.box) {
        ASSERT_FALSE(wait_for_window("^" + std::string(c.box) + "$", 10).empty());
    } else if (c.output_blocked) {
        ASSERT_TRUE(fill_output_pipe(viewer));
    } else {
        ASSERT_TRUE(wait_until([&] { return out().find(started) != std::string::npos; }));
    }
    if (c.while_building) {
        // From half a second on: a grey frame, a green bar for the rows done
        // from its left end, black for the rest.
        usleep(800000);
        Screenshot shot;
        ASSERT_TRUE(shot.take(run.window()));
        EXPECT_EQ(shot.pixel(100, 300), 0x606060u);
        EXPECT_EQ(shot.pixel(102, 300), 0x00A000u);
        EXPECT_EQ(shot.pixel(697, 300), 0x000000u);
    }
    if (c.x_frozen) {
        x->freeze();
        usleep(1000000);  // a frame's time many times over: the viewer now waits on the server
    }
    if (*c.key) {
        if (c.key == std::string("close")) ask_to_close(run.window());
        ASSERT_TRUE(c.key == std::string("close") ? viewer.wait_exit(10) : run.press_escape(10));
        EXPECT_TRUE(viewer.exited_normally()) << "signal " << viewer.signal();
        EXPECT_EQ(viewer.exit_code(), 0);
    }
    for (int signal : c.signals) viewer.send_signal(signal);
    if (c.signals.size() > 1) {  // left unread: the viewer would wait to write for ever
        ASSERT_TRUE(wait_until([&] { return !viewer.running(); }));
    }
    ASSERT_TRUE(viewer.wait_exit(30));
    // Either may come first: the second ends the viewer at once, by itself.
    if (!*c.key) {
        EXPECT_NE(std::find(c.signals.begin(), c.signals.end(), viewer.signal()), c.signals.end())
            << "signal " << viewer.signal() << ", exit code " << viewer.exit_code() << ", " << viewer.err();
    }
    if (*c.box) return;  // ended at once, the box's line on standard error
    EXPECT_EQ(viewer.err(), "");
    if (c.signals.size() > 1) return;  // ended at once: what was buffered is lost
    const std::string written = out();
    expect_whole_lines(written);
    if (c.while_building) {
        EXPECT_EQ(written.find(SLOW_LAST_LINE), std::string::npos) << "the mesh was built to its end";
        EXPECT_EQ(written.find("yaw="), std::string::npos) << "frames after the build was ended";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Viewer, EndedEarly,
    ::testing::Values(EndCase{"sigterm", {SIGTERM}, false, false}, EndCase{"sigint", {SIGINT}, false, false},
                      EndCase{"sighup", {SIGHUP}, false, false},
                      EndCase{"sigterm_while_building", {SIGTERM}, true, false},
                      EndCase{"escape_while_building", {}, true, false, "", false, "Escape"},
                      EndCase{"close_button_while_building", {}, true, false, "", false, "close"},
                      EndCase{"sigterm_while_output_waits", {SIGTERM}, false, true},
                      EndCase{"second_signal_ends_at_once", {SIGTERM, SIGINT}, false, true},
                      EndCase{"sigterm_while_a_box_waits", {SIGTERM}, false, false, "ZEB init error"},
                      EndCase{"sigterm_while_x_server_frozen", {SIGTERM}, false, false, "", true},
                      EndCase{"sigint_while_x_server_frozen", {SIGINT}, false, false, "", true}),
    [](const auto& info) { return std::string(info.param.name); });
