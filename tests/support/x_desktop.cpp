#include "x_desktop.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "test_clock.h"

// Last: Xlib's macros (None, Bool) would break the headers above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

// The test's own connection to its X server, opened on first use.
Display* x_connection() {
    static Display* x = XOpenDisplay(nullptr);
    return x;
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> result;
    for (std::string word; in >> word;) result.push_back(word);
    return result;
}

}  // namespace

std::string shell(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
    return output;
}

// A command run against `display` ("" for the test's own).
std::string on(const std::string& display, const std::string& command) {
    return display.empty() ? command : "DISPLAY=" + display + " " + command;
}

std::vector<std::string> windows_named(const std::string& title_regex, const std::string& display) {
    return words(shell(on(display, "timeout 5 xdotool search --onlyvisible --name '" + title_regex + "' 2>/dev/null")));
}

std::string wait_for_window(const std::string& title_regex, double seconds, const std::string& display) {
    std::vector<std::string> found;
    wait_until([&] { return !(found = windows_named(title_regex, display)).empty(); }, seconds, 50);
    return found.empty() ? "" : found.front();
}

void press_key(const std::string& window, const std::string& key) {
    shell("timeout 5 xdotool windowfocus --sync " + window + " keydown " + key);
}

void release_key(const std::string& key) { shell("xdotool keyup " + key); }

Point pointer_in(const std::string& window) {
    // "x:12 y:34 screen:0 window:567"; the window's origin from its geometry.
    Point pointer{0, 0}, origin{0, 0};
    sscanf(shell("xdotool getmouselocation").c_str(), "x:%d y:%d", &pointer.x, &pointer.y);
    std::string geometry = shell("xdotool getwindowgeometry " + window);
    size_t at = geometry.find("Position: ");
    if (at != std::string::npos) sscanf(geometry.c_str() + at, "Position: %d,%d", &origin.x, &origin.y);
    return {pointer.x - origin.x, pointer.y - origin.y};
}

void move_pointer_in(const std::string& window, int x, int y) {
    shell("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y));
}

void move_pointer_by(int dx, int dy) {
    if (Display* x = x_connection()) {
        XTestFakeRelativeMotionEvent(x, dx, dy, CurrentTime);
        XSync(x, False);
    }
}

bool grab_pointer() {
    Display* x = x_connection();
    return x && XGrabPointer(x, DefaultRootWindow(x), False, PointerMotionMask, GrabModeAsync, GrabModeAsync, None,
                             None, CurrentTime) == GrabSuccess;
}

void ungrab_pointer() {
    if (Display* x = x_connection()) {
        XUngrabPointer(x, CurrentTime);
        XSync(x, False);
    }
}

void ask_to_close(const std::string& window) {
    Display* x = x_connection();
    if (!x) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::stoul(window);
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x, event.xclient.window, False, NoEventMask, &event);
    XSync(x, False);
}

BoxCloser::BoxCloser(std::vector<std::string> titles, std::string display)
    : titles_(std::move(titles)), display_(std::move(display)), thread_([this] { run(); }) {}

BoxCloser::~BoxCloser() {
    stop_ = true;
    thread_.join();
}

std::vector<std::string> BoxCloser::seen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

void BoxCloser::run() {
    while (!stop_) {
        for (const auto& title : titles_) {
            for (const auto& id : windows_named("^" + title + "$", display_)) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    if (ids_.insert(id).second) seen_.push_back(title);
                }
                // Pressed again on the next round while the box stays up.
                shell(on(display_, "timeout 5 xdotool windowfocus --sync " + id + " key Return 2>/dev/null"));
            }
        }
        usleep(150000);
    }
}

std::string unreachable_x_display() {
    // Far above the numbers Xvfb -displayfd takes first, so no server is
    // likely to claim it between this check and the test.
    for (int n = 500; n < 1000; n++) {
        const std::string number = std::to_string(n), name = ":" + number;
        if (access(("/tmp/.X" + number + "-lock").c_str(), F_OK) == 0 ||
            access(("/tmp/.X11-unix/X" + number).c_str(), F_OK) == 0)
            continue;
        if (Display* x = XOpenDisplay(name.c_str())) {
            XCloseDisplay(x);
            continue;
        }
        return name;
    }
    return "";
}

PrivateXServer::PrivateXServer(const std::string& xvfb_arguments) {
    std::string started =
        shell("bash -c '. " XVFB_SCRIPT " && start_xvfb " + xvfb_arguments + " && echo $DISPLAY $XVFB_PID'");
    std::istringstream in(started);
    in >> display_ >> pid_;
}

PrivateXServer::~PrivateXServer() { kill_now(); }

void PrivateXServer::kill_now() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        kill(pid_, SIGCONT);  // a frozen one takes the end once it runs again
    }
    pid_ = 0;
}

void PrivateXServer::freeze() {
    if (pid_ > 0) kill(pid_, SIGSTOP);
}

bool Screenshot::take(const std::string& window) {
    FILE* pipe = popen(("import -window " + window + " -depth 8 ppm:- 2>/dev/null").c_str(), "r");
    if (!pipe) return false;
    int max_value = 0;
    bool ok = fscanf(pipe, "P6 %d %d %d", &width, &height, &max_value) == 3 && max_value == 255 &&
              fgetc(pipe) != EOF;  // the one white space after the header
    if (ok) {
        rgb.resize(size_t(width) * height * 3);
        ok = fread(rgb.data(), 1, rgb.size(), pipe) == rgb.size();
    }
    pclose(pipe);
    return ok;
}

unsigned Screenshot::pixel(int x, int y) const {
    const unsigned char* p = &rgb[(size_t(y) * width + x) * 3];
    return unsigned(p[0]) << 16 | unsigned(p[1]) << 8 | p[2];
}
