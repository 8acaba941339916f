// The real viewer, run as a user would: in a folder of its own with a height
// image, under the test's X server, its output captured.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "test_files.h"
#include "x_desktop.h"

// Whether the viewer, built with these tests, runs under AddressSanitizer,
// which owns the allocator (a malloc put in front of it is never called) and
// reserves terabytes of address space (no address-space or data limit lets it
// start).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool UNDER_ASAN = true;
#elif defined(__has_feature)
constexpr bool UNDER_ASAN = __has_feature(address_sanitizer);
#else
constexpr bool UNDER_ASAN = false;
#endif

// What the viewer built here says of a missing hmap.bmp: the reason, then
// where the checkout's sample lies and how to view it.
inline const std::string NO_IMAGE_LINE =
    "terrain-viewer: cannot load the height image hmap.bmp: no such file in the working directory. The sample "
    "height image is " SAMPLE_HEIGHTMAP "; to view it: cd " +
    std::string(SAMPLE_HEIGHTMAP).substr(0, std::string(SAMPLE_HEIGHTMAP).rfind('/')) + " && " VIEWER_PATH;

// The start of what the viewer says when it opens no window; the reason follows.
inline const std::string NO_WINDOW = "terrain-viewer: no window could be opened (800x600";
// The titles of every box the viewer shows.
inline const std::vector<std::string> ALL_BOXES = {"error", "ZEB error", "ZEB init error"};

// A terrain of 7 x 4 pixels, quick to build and draw.
Picture small_terrain();

// Expects an exit with status 1, never by a signal.
void expect_failed_cleanly(const Child& child);

// The camera angles of one "yaw=..., pitch=..." line, whole degrees.
struct Angles {
    int yaw, pitch;
};

struct ViewerOptions {
    bool line_buffered = true;  // each output line arrives at once (stdbuf -oL)
    bool terminal = false;      // output on a pseudo-terminal instead of pipes
    bool x_display = true;
    std::string display;                 // an X display other than the test's own
    std::string viewer = VIEWER_PATH;    // the program to run
    std::string fail_step;               // a start-up step to fail, as named in the box
    std::vector<std::string> arguments;  // on the command line, to be ignored
    std::string stdout_path;             // standard output to this file instead
    bool nonblocking_stdout = false;     // standard output's pipe set O_NONBLOCK
    std::vector<int> closed_fds;         // standard streams the viewer starts without
    int frame_delay_ms = 0;              // each frame takes this much longer, as on a large terrain
    std::string limit;                   // a process limit to run under, as prlimit takes it: "--as=350000000"
    // Environment variables set for the viewer; an empty value unsets one.
    std::vector<std::pair<std::string, std::string>> environment;
};

class ViewerRun {
public:
    ViewerRun();
    // The folder the viewer runs in; hmap.bmp goes there.
    const TempDir& folder() const { return folder_; }
    bool put_heightmap(const Picture& picture, BmpLayout layout = BmpLayout::palette8);
    // The hostile image of that name (tools/hostile_bmp.h) as hmap.bmp.
    bool put_hostile_heightmap(const std::string& name);
    void start(const ViewerOptions& options = {});
    Child& child() { return *child_; }

    // The viewer's window, once it shows (up to 10 s); "" if it does not.
    std::string window();
    // Waits for `count` angle lines in all.
    bool wait_for_frames(size_t count, double seconds = 10);
    // Holds Escape in the window until the viewer exits, however slow its
    // frames; false if it outlives `seconds`.
    bool press_escape(double seconds = 10);

    // The angles of the last complete angle line so far ({-1, -1} before any).
    Angles latest_angles();
    // Moves the pointer to (x, y) in `window` every 50 ms until the latest
    // angles satisfy `done` (10 s at most). The viewer warps the pointer back
    // every frame and sees a single move only now and then, never twice.
    bool turn_until(const std::string& window, int x, int y, const std::function<bool(Angles)>& done);

    // Waits until the viewer has shown a whole frame after a write to
    // standard output failed; false if `seconds` pass first.
    bool wait_for_frame_after_lost_output(double seconds = 30);

    // Start-up steps the probe saw, in order ("init", "install_keyboard", ...).
    std::vector<std::string> steps() const;
    // Boxes the probe saw: "<display>|<title>|<heading>|<text>|<buttons>|<flags>".
    std::vector<std::string> boxes() const;
    // Threads of the viewer's own the probe refused to start.
    size_t threads_refused() const { return probe_lines("thread").size(); }

private:
    std::vector<std::string> probe_lines(const std::string& kind) const;
    TempDir folder_;
    std::string log_;
    std::unique_ptr<Child> child_;
};

// The complete "yaw=..., pitch=..." lines of an output, in order.
std::vector<std::string> angle_lines(const std::string& out);

bool parse_angles(const std::string& line, Angles& angles);
// The angles of every complete angle line, in order.
std::vector<Angles> all_angles(const std::string& out);
