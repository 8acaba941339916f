// The X desktop as a user would touch it, through xdotool and ImageMagick:
// windows by title, keys, the pointer, native boxes closed, screenshots.
#pragma once

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

// Runs a shell command; its standard output with trailing line ends trimmed.
std::string shell(const std::string& command);

// Visible windows whose title matches the extended regex, on `display`
// ("" for the test's own).
std::vector<std::string> windows_named(const std::string& title_regex, const std::string& display = "");
// The first such window to appear within `seconds`; "" if none did.
std::string wait_for_window(const std::string& title_regex, double seconds, const std::string& display = "");

// Focuses `window` and puts `key` down; the X server has it when this
// returns. It stays down until release_key.
void press_key(const std::string& window, const std::string& key);
void release_key(const std::string& key);

struct Point {
    int x, y;
};
// The pointer's position in `window`'s pixels.
Point pointer_in(const std::string& window);
void move_pointer_in(const std::string& window, int x, int y);
// Moves the pointer by (dx, dy) pixels as a mouse does (XTest relative
// motion); the X server has done it when this returns.
void move_pointer_by(int dx, int dy);
// Grabs the pointer for the test, another client than the viewer, as a menu
// or a window manager's drag does; false if the X server refused.
bool grab_pointer();
void ungrab_pointer();
// Asks `window` to close as a window manager's close button does: the
// WM_DELETE_WINDOW client message, sent straight to it.
void ask_to_close(const std::string& window);

// Closes every native box whose title is one of `titles` while it lives,
// pressing Return in it, and remembers which titles it met.
class BoxCloser {
public:
    explicit BoxCloser(std::vector<std::string> titles, std::string display = "");
    ~BoxCloser();
    std::vector<std::string> seen() const;  // a title per box, in the order met

private:
    void run();
    std::vector<std::string> titles_;
    std::string display_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::string> seen_;
    std::set<std::string> ids_;
    std::thread thread_;
};

struct Screenshot {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    bool take(const std::string& window);  // false if ImageMagick could not
    unsigned pixel(int x, int y) const;    // 0xRRGGBB
};

// The name (":N") of an X display at which no server answers: no lock file,
// no socket, no connection. "" if none was found.
std::string unreachable_x_display();

// An X server of the test's own, started by scripts/xvfb.sh with extra Xvfb
// arguments ("-extension GLX": one without OpenGL; "--resets" first: one
// that resets when its last client leaves); ended with the object.
class PrivateXServer {
public:
    explicit PrivateXServer(const std::string& xvfb_arguments);
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;
    const std::string& display() const { return display_; }  // ":93"; "" if it did not start
    void kill_now();  // ends the server at once, its clients still connected
    void freeze();    // stops the server (SIGSTOP): it takes connections and requests, and answers none

private:
    std::string display_;
    int pid_ = 0;
};
