#include "engine/x_pointer.h"

#include "engine/console.h"
#include "engine/zeb.h"

// Last: Xlib's macros (None, Bool) would break the headers above.
#include <allegro5/allegro_x.h>
#include <X11/Xlib.h>

namespace {

Display* connection = nullptr;
Window window = 0;
// As the window's own events on this connection have told: they come in
// order with the replies, so the state after a query's reply is the state
// the server had when it answered.
bool shown = true;
bool grabbed_elsewhere = false;

void watch_window() {
    XSelectInput(connection, window, StructureNotifyMask | EnterWindowMask | LeaveWindowMask);
    // Asked after the selection: a change made in between also comes as an
    // event, read after this answer, so none is missed.
    XWindowAttributes attributes;
    if (XGetWindowAttributes(connection, window, &attributes)) shown = attributes.map_state != IsUnmapped;
}

void take_window_events() {
    while (XEventsQueued(connection, QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(connection, &event);
        if (event.type == MapNotify && event.xmap.window == window) shown = true;
        if (event.type == UnmapNotify && event.xunmap.window == window) shown = false;
        // Another client's grab takes the pointer out of the window as if it
        // had left; while it lasts no ordinary entry is reported to us, so an
        // entry of any other kind means it is over.
        if (event.type == LeaveNotify && event.xcrossing.mode == NotifyGrab) grabbed_elsewhere = true;
        if (event.type == EnterNotify && event.xcrossing.mode != NotifyGrab) grabbed_elsewhere = false;
    }
}

}  // namespace

bool x_pointer_ready() {
    static bool tried = false;
    if (!tried && display) {
        tried = true;
        connection = XOpenDisplay(nullptr);
        window = al_get_x_window_id(display);
        if (connection)
            watch_window();
        else
            console_error(
                "terrain-viewer: mouse look could not open a connection of its own to the X display (the server may "
                "take no more clients: close another X program and start the viewer again); it goes on with the "
                "library's pointer, which may miss movement");
    }
    return connection != nullptr;
}

PointerQuery x_pointer_query() {
    Window root, child;
    int root_x = 0, root_y = 0, x = 0, y = 0;
    unsigned buttons;
    const bool same_screen = XQueryPointer(connection, window, &root, &child, &root_x, &root_y, &x, &y, &buttons);
    take_window_events();
    return {x, y, root_x - x, root_y - y, same_screen, shown, grabbed_elsewhere};
}

void x_pointer_warp(const CentringWarp& warp) {
    // A move by the difference starts from wherever the pointer is when the
    // server gets it, so movement made on the way is kept.
    if (warp.relative)
        XWarpPointer(connection, None, None, 0, 0, 0, 0, warp.x, warp.y);
    else
        XWarpPointer(connection, None, window, 0, 0, 0, 0, warp.x, warp.y);
    XFlush(connection);
}
