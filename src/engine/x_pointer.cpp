#include "engine/x_pointer.h"

#include "engine/console.h"
#include "engine/zeb.h"

// Last: Xlib's macros (None, Bool) would break the headers above.
#include <allegro5/allegro_x.h>
#include <X11/Xlib.h>

namespace {

Display* connection = nullptr;
Window window = 0;

}  // namespace

bool x_pointer_ready() {
    static bool tried = false;
    if (!tried && display) {
        tried = true;
        connection = XOpenDisplay(nullptr);
        window = al_get_x_window_id(display);
        if (!connection)
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
    return {x, y, root_x - x, root_y - y, same_screen};
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
