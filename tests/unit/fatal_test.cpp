// The one way out for failures on any thread: it never waits for an end that
// cannot come, whether the wait would be on this very thread (a second
// failure while the first is told) or on another one that keeps standard
// output (stuck writing to a reader that stopped, or failing inside a print).
#include "engine/fatal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

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

TEST(FatalExit, EndsWithItsLineWhileAnotherThreadKeepsStandardOutput) {
    EXPECT_EXIT(
        {
            alarm(30);  // a hang ends by SIGALRM instead
            std::atomic<bool> locked{false};
            std::thread keeper([&] {
                flockfile(stdout);
                locked = true;
                usleep(100000);
                fatal_exit("the second failure");  // most likely while the first one ends
            });
            while (!locked) usleep(1000);
            fatal_exit("the first failure");
        },
        ::testing::ExitedWithCode(1), "^terrain-viewer: the (first|second) failure\n$");
}
