#include "engine/x_display_check.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdlib>

#include "engine/x_answer.h"

namespace {

int held_connection = -1;  // the accepted check's, until the library has connected
bool accepted_at_start = false;
std::string set_aside_name;  // what DISPLAY held before it was set aside, or ""
XAnswer set_aside_answer = XAnswer::unknown;  // what made it so; accepted: the library's connection failed

// Removes DISPLAY from the environment, remembering why.
void set_aside(const char* name, XAnswer answer) {
    set_aside_name = name;
    set_aside_answer = answer;
    unsetenv("DISPLAY");
}

std::string display_text(const std::string& name) { return "the X display " + name + " (from DISPLAY)"; }

// What the set-aside display did; one that failed the library is asked again
// for the error it gives now.
std::string set_aside_text() {
    const std::string text = display_text(set_aside_name);
    if (set_aside_answer != XAnswer::accepted) return text + " " + x_answer_text(set_aside_answer, X_ANSWER_SECONDS);
    const XAnswer now = ask_x_server(set_aside_name, X_ANSWER_SECONDS);
    return text + " answered, but the library's own connection to it failed right after (asked again, it " +
           x_answer_text(now, X_ANSWER_SECONDS) + (now == XAnswer::accepted ? ": start the viewer again)" : ")");
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

// Whether Xlib would wait for ever on a server that answered so.
bool xlib_would_wait(XAnswer answer) {
    return answer == XAnswer::silent || answer == XAnswer::partial || answer == XAnswer::not_x;
}

}  // namespace

void x_display_ask_before_library() {
    const char* name = getenv("DISPLAY");
    if (!name || !*name) return;
    const XAnswer answer = ask_x_server(name, X_ANSWER_SECONDS, &held_connection);
    accepted_at_start = answer == XAnswer::accepted;
    // A refusal or a close is left to the library, which then fails at once:
    // it asks with its key, and a server that was resetting takes it.
    if (xlib_would_wait(answer)) set_aside(name, answer);
}

void x_display_library_started(bool connected) {
    if (held_connection >= 0) close(held_connection);
    held_connection = -1;
    const char* name = getenv("DISPLAY");
    if (accepted_at_start && !connected && name) set_aside(name, XAnswer::accepted);
}

std::string x_display_problem() {
    if (!set_aside_name.empty()) return set_aside_text();
    const char* name = getenv("DISPLAY");
    if (!name || !*name) return "DISPLAY is not set, so there is no X display to open a window on";
    const std::string text = display_text(name);
    const XAnswer answer = ask_x_server(name, X_ANSWER_SECONDS);
    if (answer != XAnswer::accepted && answer != XAnswer::refused && answer != XAnswer::unknown)
        return text + " " + x_answer_text(answer, X_ANSWER_SECONDS);
    Display* x = XOpenDisplay(name);
    if (!x)
        return answer == XAnswer::unknown ? text + " cannot be reached"
                                          : text + " refused the connection: " + key_text();
    const std::string missing = missing_for_opengl(x, text);
    XCloseDisplay(x);
    return missing;
}
