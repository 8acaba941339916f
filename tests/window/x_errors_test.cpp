// An X error, which Xlib would answer by exiting with only its own dump,
// ends the run with one line that names the request, and status 1; while
// the window opens, it is kept for the window's own failure instead.
#include "engine/x_errors.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

// After gtest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>

TEST(XErrors, ARefusedRequestIsKeptWhileTheWindowOpensAndEndsTheRunOtherwise) {
    EXPECT_EXIT(
        {
            x_errors_install();
            Display* x = XOpenDisplay(nullptr);
            if (!x) _exit(3);
            x_errors_hold();
            XFreePixmap(x, 0x1fffffff);  // no pixmap has that id
            XDestroyWindow(x, 0x1fffffff);  // nor window: the first refusal is the one kept
            XSync(x, False);
            fprintf(stderr, "kept: %s\n", x_errors_release().c_str());
            XFreePixmap(x, 0x1fffffff);
            XSync(x, False);
            _exit(4);
        },
        ::testing::ExitedWithCode(1),
        "^kept: BadPixmap \\(invalid Pixmap parameter\\) in X_FreePixmap\n"
        "terrain-viewer: the X server refused a request: BadPixmap \\(invalid Pixmap parameter\\) in X_FreePixmap\n$");
}
