// An X error, which Xlib would answer by exiting with only its own dump,
// ends the run with one line that names the request, and status 1.
#include "engine/x_errors.h"

#include <gtest/gtest.h>
#include <unistd.h>

// After gtest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>

TEST(XErrors, ARefusedRequestEndsTheRunWithOneLineNamingIt) {
    EXPECT_EXIT(
        {
            x_errors_install();
            Display* x = XOpenDisplay(nullptr);
            if (!x) _exit(3);
            x_errors_during("opening the window");
            XFreePixmap(x, 0x1fffffff);  // no pixmap has that id
            XSync(x, False);
            _exit(4);
        },
        ::testing::ExitedWithCode(1),
        "^terrain-viewer: the X server refused a request while opening the window: BadPixmap \\(invalid "
        "Pixmap parameter\\) in X_FreePixmap\n$");
}
