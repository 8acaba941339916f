// Linked into the test programs that need an X server. Without one reachable
// their tests are skipped with the reason, so a plain `ctest` on a machine
// without a display runs the unit tests and skips the rest; under
// scripts/test.sh (TERRAIN_TESTS_NEED_DISPLAY set) a missing display fails
// them instead, so a broken Xvfb cannot turn the suite green.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

// After gtest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>

namespace {

class NeedsXDisplay : public ::testing::Environment {
public:
    void SetUp() override {
        const char* name = getenv("DISPLAY");
        if (Display* x = name && *name ? XOpenDisplay(name) : nullptr) {
            XCloseDisplay(x);
            return;
        }
        if (getenv("TERRAIN_TESTS_NEED_DISPLAY")) {
            // Out at once: a failure here would still report the tests as skipped.
            fprintf(stderr, "no X display can be reached (DISPLAY=%s)\n", name ? name : "");
            exit(1);
        }
        GTEST_SKIP() << "needs an X display: run scripts/test.sh, which starts Xvfb";
    }
};

const ::testing::Environment* const registered = ::testing::AddGlobalTestEnvironment(new NeedsXDisplay);

}  // namespace
