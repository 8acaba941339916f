#include "engine/x_display_check.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string silent_display;  // the name DISPLAY held before it was set aside

enum class XAnswer { accepted, refused, silent, unreachable, unknown };

// Milliseconds left until `deadline`, 0 once past.
int ms_left(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Waits for `events` on `fd` until `deadline`; false when time ran out.
bool wait_for(int fd, short events, Clock::time_point deadline) {
    pollfd p = {fd, events, 0};
    for (;;) {
        const int ready = poll(&p, 1, ms_left(deadline));
        if (ready > 0) return true;
        if (ready == 0 || errno != EINTR) return false;
    }
}

// The socket addresses Xlib tries for `name` (":0", "unix:0", "host:10.0"),
// in its order: on this machine the abstract socket, then the file; on
// another, TCP port 6000 + the display number. Empty for forms not known
// here (DECnet "host::0", a path).
std::vector<std::vector<char>> x_addresses(const std::string& name) {
    if (name.empty() || name[0] == '/') return {};
    std::string display_name = name;
    if (const size_t slash = display_name.find('/'); slash < display_name.find(':')) display_name.erase(0, slash + 1);  // "tcp/host:0"
    const size_t colon = display_name.rfind(':');
    if (colon == std::string::npos || colon + 1 >= display_name.size()) return {};
    if (colon > 0 && display_name[colon - 1] == ':') return {};
    const std::string host = display_name.substr(0, colon);
    const std::string digits = display_name.substr(colon + 1, display_name.find('.', colon) - colon - 1);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 5) return {};
    std::vector<std::vector<char>> addresses;
    if (host.empty() || host == "unix") {
        const std::string path = "/tmp/.X11-unix/X" + digits;
        for (bool abstract : {true, false}) {
            sockaddr_un address = {};
            address.sun_family = AF_UNIX;
            memcpy(address.sun_path + (abstract ? 1 : 0), path.data(), path.size());
            const char* bytes = reinterpret_cast<const char*>(&address);
            addresses.emplace_back(bytes, bytes + offsetof(sockaddr_un, sun_path) + path.size() + (abstract ? 1 : 0));
        }
        return addresses;
    }
    addrinfo hints = {}, *found = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    if (getaddrinfo(host.c_str(), std::to_string(6000 + std::stoi(digits)).c_str(), &hints, &found) != 0) return {};
    for (addrinfo* a = found; a; a = a->ai_next) {
        const char* bytes = reinterpret_cast<const char*>(a->ai_addr);
        addresses.emplace_back(bytes, bytes + a->ai_addrlen);
    }
    freeaddrinfo(found);
    return addresses;
}

// Connects to `address` by `deadline`: the socket, or -1.
int connect_by(const std::vector<char>& address, Clock::time_point deadline) {
    const auto* to = reinterpret_cast<const sockaddr*>(address.data());
    const int fd = socket(to->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int error = 0;
    socklen_t size = sizeof error;
    if (connect(fd, to, socklen_t(address.size())) == 0 ||
        (errno == EINPROGRESS && wait_for(fd, POLLOUT, deadline) &&
         getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0))
        return fd;
    close(fd);
    return -1;
}

// Starts an X connection to `name` without a key and reads the first byte
// of the server's answer: 1 accepted, anything else (or a close) refused.
XAnswer ask_x_server(const std::string& name, int seconds) {
    const auto addresses = x_addresses(name);
    if (addresses.empty()) return XAnswer::unknown;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    for (const auto& address : addresses) {
        const int fd = connect_by(address, deadline);
        if (fd < 0) continue;
        // Little-endian byte order, protocol 11.0, no key.
        const unsigned char hello[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        unsigned char first = 0;
        const bool sent = send(fd, hello, sizeof hello, MSG_NOSIGNAL) == ssize_t(sizeof hello);
        const bool answered = sent && wait_for(fd, POLLIN, deadline);
        const ssize_t got = answered ? recv(fd, &first, 1, 0) : -1;
        close(fd);
        if (!answered) return XAnswer::silent;
        return got == 1 && first == 1 ? XAnswer::accepted : XAnswer::refused;
    }
    return ms_left(deadline) == 0 ? XAnswer::silent : XAnswer::unreachable;
}

std::string silent_text(const std::string& name) {
    return "the X display " + name + " (from DISPLAY) did not answer within " + std::to_string(X_ANSWER_SECONDS) +
           " s";
}

// Where the key the server refused came from.
std::string key_text() {
    const char* file = getenv("XAUTHORITY");
    if (file && *file) return std::string("the key in XAUTHORITY (") + file + ") is not one it takes";
    return "XAUTHORITY is not set, and ~/.Xauthority holds no key it takes";
}

// What the reachable display `x` lacks for an OpenGL window; "" for nothing.
std::string missing_for_opengl(Display* x, const std::string& display_text) {
    const int screen = DefaultScreen(x);
    XVisualInfo visual;
    if (!XMatchVisualInfo(x, screen, 24, TrueColor, &visual) && !XMatchVisualInfo(x, screen, 32, TrueColor, &visual))
        return display_text + " has no 24-bit colour visual, which OpenGL needs (its screen is " +
               std::to_string(DefaultDepth(x, screen)) + "-bit)";
    int opcode, event, error;
    if (!XQueryExtension(x, "GLX", &opcode, &event, &error))
        return display_text + " has no OpenGL: its server lacks the GLX extension";
    return "";
}

}  // namespace

bool x_display_set_aside_if_silent() {
    const char* name = getenv("DISPLAY");
    if (!name || !*name || ask_x_server(name, X_ANSWER_SECONDS) != XAnswer::silent) return false;
    silent_display = name;
    unsetenv("DISPLAY");
    return true;
}

std::string x_display_problem() {
    if (!silent_display.empty()) return silent_text(silent_display);
    const char* name = getenv("DISPLAY");
    if (!name || !*name) return "DISPLAY is not set, so there is no X display to open a window on";
    const std::string display_text = std::string("the X display ") + name + " (from DISPLAY)";
    const XAnswer answer = ask_x_server(name, X_ANSWER_SECONDS);
    if (answer == XAnswer::silent) return silent_text(name);
    if (answer == XAnswer::unreachable) return display_text + " cannot be reached";
    Display* x = XOpenDisplay(name);
    if (!x)
        return answer == XAnswer::unknown ? display_text + " cannot be reached"
                                          : display_text + " refused the connection: " + key_text();
    const std::string missing = missing_for_opengl(x, display_text);
    XCloseDisplay(x);
    return missing;
}
