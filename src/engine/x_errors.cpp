#include "engine/x_errors.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>

#include "engine/fatal.h"

// Last: Xlib's private part, for the name of an extension from its request
// code as Xlib's own error report gives it, defines min and max as macros.
#include <X11/Xlib.h>
#include <X11/Xlibint.h>
#undef min
#undef max

namespace {

std::atomic<bool> installed{false};
// Held errors: the handler may run on the library's event thread.
std::mutex held_mutex;
bool holding = false;
std::string held;

// The name Xlib's error database gives a request ("X_GetProperty",
// "X_GLXCreateNewContext"); "" when it has none.
std::string request_name(Display* x, const char* key) {
    char name[128];
    XGetErrorDatabaseText(x, "XRequest", key, "", name, sizeof name);
    return name;
}

// "BadValue (integer parameter out of range for operation) in
// X_GLXCreateNewContext (GLX request 24)". A handler may not send requests,
// so everything comes from the client's own tables.
std::string describe(Display* x, const XErrorEvent& error) {
    char text[256], key[160];
    XGetErrorText(x, error.error_code, text, sizeof text);
    if (error.request_code < 128) {  // a core request
        snprintf(key, sizeof key, "%d", error.request_code);
        const std::string name = request_name(x, key);
        return std::string(text) + " in " + (name.empty() ? "request " + std::string(key) : name);
    }
    const char* extension = "an extension's";
    for (_XExtension* e = x->ext_procs; e; e = e->next)
        if (e->codes.major_opcode == error.request_code) extension = e->name;
    snprintf(key, sizeof key, "%s.%d", extension, error.minor_code);
    const std::string name = request_name(x, key);
    snprintf(key, sizeof key, "%s request %d", extension, error.minor_code);
    return std::string(text) + " in " + (name.empty() ? key : name + " (" + key + ")");
}

int on_x_error(Display* x, XErrorEvent* error) {
    const std::string what = describe(x, *error);
    {
        std::lock_guard<std::mutex> lock(held_mutex);
        if (holding) {
            if (held.empty()) held = what;
            return 0;
        }
    }
    fatal_exit("the X server refused a request: %s", what.c_str());
}

int on_x_connection_broken(Display* x) {
    // Xlib's buffers could not grow (a memory limit), or the server is gone.
    if (errno == ENOMEM) fatal_exit("the connection to the X display %s broke: out of memory", DisplayString(x));
    fatal_exit("the X display %s was lost", DisplayString(x));
}

}  // namespace

void x_errors_install() {
    installed = true;
    XSetErrorHandler(on_x_error);
    XSetIOErrorHandler(on_x_connection_broken);
}

void x_errors_reclaim() {
    if (installed) x_errors_install();
}

void x_errors_hold() {
    std::lock_guard<std::mutex> lock(held_mutex);
    holding = true;
    held.clear();
}

std::string x_errors_release() {
    std::lock_guard<std::mutex> lock(held_mutex);
    holding = false;
    return held;
}
