// The X server around the real viewer, missing, odd or hostile. Each run
// ends with a line that names the cause and status 1, or shows the terrain;
// never a signal or a hang.
#include <gtest/gtest.h>
#include <signal.h>

#include <memory>

#include "silent_socket.h"
#include "viewer_run.h"

namespace {

// A fake X server: where it listens and what it answers each connection.
struct FakeX {
    bool tcp = false;  // at 127.0.0.1:N (port 6000 + N), else at the Unix socket of :N
    std::vector<SocketAnswer> answers;
};

// No window: no X display, a dead one, a fake one, one that refuses the
// viewer's key, one without OpenGL or 24-bit colour. The run goes on as
// designed, loading and building where the library lets it, and ends cleanly
// where it needs the window; each line names the first cause.
struct NoWindowCase {
    const char* name;
    // "none" (DISPLAY unset), "dead", "fake" (below), "keyed" (takes a key
    // the viewer lacks), else Xvfb's extra arguments.
    const char* x_server;
    bool image;
    std::vector<std::string> boxes;  // titles, in order
    std::vector<std::string> err;    // standard error, line by line
    bool builds;                     // the mesh's progress lines are printed
    FakeX fake = {};
};

void PrintTo(const NoWindowCase& c, std::ostream* os) { *os << c.name; }

class NoWindow : public ::testing::TestWithParam<NoWindowCase> {};

const std::string NO_MOUSE = "ZEB init error: Allegro5 error: al_install_mouse() failed";
const std::string STOPPED_AT_MOUSE = "terrain-viewer: cannot load the height image hmap.bmp: start-up stopped when "
                                     "al_install_mouse() failed, so the image add-on was not started";
const std::string NO_DISPLAY = "terrain-viewer: cannot show the terrain: there is no display";
// Stands for the display's name in the expected lines: it is found when the test runs.
const std::string THE_DISPLAY = "the X display <display> (from DISPLAY)";
// What Xlib itself writes when a server refuses it.
const std::string XLIB_REFUSED = "Authorization required, but no authorization protocol specified";

// An X authority file holding one key (the server takes every key in it).
void write_key_file(const std::string& path) {
    std::string entry("\x01\x00", 2);  // FamilyLocal, then address, display number, key name and key
    for (const std::string& field : {std::string("host"), std::string("0"), std::string("MIT-MAGIC-COOKIE-1"),
                                     std::string(16, '\x5a')})
        entry += std::string{char(field.size() >> 8), char(field.size() & 0xFF)} + field;
    ASSERT_TRUE(write_file(path, std::vector<uint8_t>(entry.begin(), entry.end())));
}

// Starts `fake` at a display number nothing else uses; its name (":N",
// "127.0.0.1:N"), or "" if none was free.
std::string start_fake_x(const FakeX& fake, std::unique_ptr<SilentSocket>& socket) {
    if (!fake.tcp) {
        const std::string name = unreachable_x_display();
        if (!name.empty()) socket = std::make_unique<SilentSocket>("/tmp/.X11-unix/X" + name.substr(1), fake.answers);
        return socket && socket->listening() ? name : "";
    }
    for (int n = 500; n < 1000; n++) {
        socket = std::make_unique<SilentSocket>(6000 + n, fake.answers);
        if (socket->listening()) return "127.0.0.1:" + std::to_string(n);
    }
    return "";
}

}  // namespace

TEST_P(NoWindow, GoesOnAsFarAsItCanThenEndsCleanly) {
    const NoWindowCase& c = GetParam();
    const std::string server = c.x_server;
    ViewerRun run;
    if (c.image) {
        ASSERT_TRUE(run.put_heightmap(grey_picture(3, 2, {150, 160, 170, 180, 190, 200})));
    }
    std::unique_ptr<PrivateXServer> x;
    std::unique_ptr<SilentSocket> fake;
    ViewerOptions options;
    if (server == "none") options.x_display = false;
    if (server == "dead") options.display = unreachable_x_display();
    if (server == "fake") options.display = start_fake_x(c.fake, fake);
    if (server == "keyed") {
        write_key_file(run.folder().file("server.key"));
        options.environment = {{"XAUTHORITY", "/dev/null"}};
    }
    if (server != "none" && server != "dead" && server != "fake") {
        x = std::make_unique<PrivateXServer>(server == "keyed" ? "-auth " + run.folder().file("server.key") : server);
        options.display = x->display();
    }
    ASSERT_TRUE(server == "none" || !options.display.empty());
    std::vector<std::string> err = c.err;
    for (std::string& line : err)
        if (size_t at = line.find("<display>"); at != std::string::npos) line.replace(at, 9, options.display);
    // Boxes show on the test's own display when the viewer's cannot take them.
    BoxCloser closer(ALL_BOXES, x && server != "keyed" ? options.display : "");
    run.start(options);
    ASSERT_TRUE(run.child().wait_exit(30));
    expect_failed_cleanly(run.child());
    std::vector<std::string> titles;
    for (const std::string& box : run.boxes()) titles.push_back(box.substr(7, box.find('|', 7) - 7));
    EXPECT_EQ(titles, c.boxes);
    std::vector<std::string> lines;
    for (const std::string& line : lines_of(run.child().err()))
        if (server != "keyed" || (line != XLIB_REFUSED && !line.empty())) lines.push_back(line);
    EXPECT_EQ(lines, err);
    EXPECT_EQ(run.child().out().find("Creating hmap: scanline 1/2\n") != std::string::npos, c.builds)
        << run.child().out();
}

namespace {

// No X connection at all: start-up stops at the mouse, all three boxes follow.
NoWindowCase unconnected(const char* name, const char* x_server, const std::string& why, FakeX fake = {}) {
    return {name, x_server, true, {"ZEB init error", "ZEB error", "error"},
            {NO_MOUSE, NO_WINDOW + ": " + THE_DISPLAY + why + ")", STOPPED_AT_MOUSE}, false, fake};
}

NoWindowCase fake_x(const char* name, bool tcp, std::vector<SocketAnswer> answers, const std::string& why) {
    return unconnected(name, "fake", why, FakeX{tcp, answers});
}

const std::string NO_GLX = NO_WINDOW + ": " + THE_DISPLAY + " has no OpenGL: its server lacks the GLX extension)";
constexpr bool TCP = true, UNIX_SOCKET = false;
const SocketAnswer ONE_BYTE = {"\x01"}, GARBAGE = {"HTTP/1.1 400 Bad Request\r\n\r\n"}, HANG_UP = {"", true};
// An X server's acceptance, well formed and as small as one can be: its
// 8-byte header (accepted, protocol 11.0, 18 units of 4 bytes to follow), 32
// bytes about the server (one screen, no pixel formats) and a 40-byte screen.
const std::string ACCEPTANCE = std::string("\x01\x00\x0b\x00\x00\x00\x12\x00", 8) + std::string(20, '\0') + "\x01" +
                               std::string(11, '\0') + std::string(40, '\0');
const std::string PART_WAY = " sent only part of an answer within 4 s";
const std::string HUNG_UP = " closed the connection without answering";

INSTANTIATE_TEST_SUITE_P(
    Viewer, NoWindow,
    ::testing::Values(
        NoWindowCase{"no_x_display", "none", true, {"ZEB init error", "ZEB error", "error"},
                     {NO_MOUSE, NO_WINDOW + ": DISPLAY is not set, so there is no X display to open a window on)",
                      STOPPED_AT_MOUSE}, false},
        unconnected("dead_x_display", "dead", " cannot be reached"),
        fake_x("silent_x_display", UNIX_SOCKET, {}, " did not answer within 4 s"),
        fake_x("one_byte_then_silence", UNIX_SOCKET, {ONE_BYTE}, PART_WAY),
        fake_x("hangs_up_at_once", UNIX_SOCKET, {HANG_UP}, HUNG_UP),
        fake_x("tcp_one_byte_then_silence", TCP, {ONE_BYTE}, PART_WAY),
        fake_x("tcp_garbage", TCP, {GARBAGE}, " answered, but not as an X server"),
        fake_x("tcp_hangs_up_at_once", TCP, {HANG_UP}, HUNG_UP),
        fake_x("tcp_header_then_silence", TCP, {{ACCEPTANCE.substr(0, 8)}}, PART_WAY),
        fake_x("tcp_fails_the_library_after_answering", TCP, {{ACCEPTANCE}, HANG_UP},
               " answered, but the library's own connection to it failed right after (asked again, it" + HUNG_UP +
                   ")"),
        unconnected("refused_key", "keyed",
                    " refused the connection: the key in XAUTHORITY (/dev/null) is not one it takes"),
        NoWindowCase{"no_opengl", "-extension GLX", true, {"ZEB error"}, {NO_GLX, NO_DISPLAY}, true},
        NoWindowCase{"no_opengl_no_image", "-extension GLX", false, {"ZEB error", "error"}, {NO_GLX, NO_IMAGE_LINE},
                     false},
        NoWindowCase{"eight_bit_screen", "-screen 0 800x600x8", true, {"ZEB error"},
                     {NO_WINDOW + ": " + THE_DISPLAY +
                          " has no 24-bit colour visual, which OpenGL needs (its screen is 8-bit))",
                      NO_DISPLAY},
                     true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

// X servers that go away. One killed under a running viewer ends the run
// with a line, not a crash (Xlib's own answer, an exit on two threads at
// once, crashed 3 runs in 4). One started without -noreset (xvfb-run,
// kiosks, startx PROGRAM) resets when its last client leaves and hangs up on
// whoever connected meanwhile: alone on one, the viewer shows its terrain
// every time, and is then ended by SIGTERM (xdotool's key would be a client).
struct ServerGone {
    const char* name;
    bool resets;            // else killed once the viewer shows frames
    const char* fail_step;  // a start-up step whose box shows first (its toolkit puts in X handlers), or ""
    int runs;
};

void PrintTo(const ServerGone& gone, std::ostream* os) { *os << gone.name; }

class XServerGone : public ::testing::TestWithParam<ServerGone> {};

TEST_P(XServerGone, EveryRunShowsTheTerrainThenEndsWithALineNotACrash) {
    const ServerGone& c = GetParam();
    ViewerRun run;  // one for every run: a start follows the last end at once
    ASSERT_TRUE(run.put_heightmap(small_terrain()));
    std::unique_ptr<PrivateXServer> x;
    for (int i = 0; i < c.runs; i++) {
        if (!x || !c.resets) x = std::make_unique<PrivateXServer>(c.resets ? "--resets" : "");
        ASSERT_FALSE(x->display().empty());
        ViewerOptions options;
        options.display = x->display();
        options.fail_step = c.fail_step;
        // Alone on the server, nothing between the viewer's start and the
        // library's connection that a user's run lacks: no log, no line buffering.
        if (c.resets) options.environment = {{"ZEB_PROBE_LOG", ""}}, options.line_buffered = false;
        std::unique_ptr<BoxCloser> closer;  // xdotool's, a client: only where a box shows
        if (*c.fail_step)
            closer = std::make_unique<BoxCloser>(std::vector<std::string>{"ZEB init error"}, x->display());
        run.start(options);
        ASSERT_TRUE(run.wait_for_frames(3, 30)) << "run " << i << ": " << run.child().err();
        if (c.resets) {
            run.child().send_signal(SIGTERM);
            ASSERT_TRUE(run.child().wait_exit(30));
            EXPECT_EQ(run.child().signal(), SIGTERM) << run.child().err();
            continue;
        }
        x->kill_now();
        ASSERT_TRUE(run.child().wait_exit(20));
        expect_failed_cleanly(run.child());
        const std::vector<std::string> lines = lines_of(run.child().err());
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "terrain-viewer: the X display " + x->display() + " was lost")
            << "run " << i << ": " << run.child().err();
    }
}

INSTANTIATE_TEST_SUITE_P(Viewer, XServerGone,
                         ::testing::Values(ServerGone{"killed_while_drawing", false, "", 6},
                                           ServerGone{"killed_after_a_box", false, "init_ttf_addon", 2},
                                           ServerGone{"resets_when_alone", true, "", 20}),
                         [](const auto& info) { return std::string(info.param.name); });
