// The one way out for failures on any thread: a second failure met while the
// first is being told (standard output's flush failing, say) ends the run
// too, rather than waiting for an end that this very thread was to bring.
#include "engine/fatal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

TEST(FatalExit, ASecondFailureOnTheSameThreadEndsTheRunInsteadOfHanging) {
    EXPECT_EXIT(
        {
            alarm(30);  // a hang ends by SIGALRM, which the test reports
            // Standard output whose every write fails again.
            cookie_io_functions_t failing = {};
            failing.write = [](void*, const char*, size_t) -> ssize_t { fatal_exit("the second failure"); };
            stdout = fopencookie(nullptr, "w", failing);
            if (!stdout) _exit(3);
            printf("a line still to be flushed\n");
            fatal_exit("the first failure");
        },
        ::testing::ExitedWithCode(1), "");
}
