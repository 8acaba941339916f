// fatal_exit while another thread keeps standard output: one stuck writing to
// a reader that stopped reading, or one failing itself inside a print.
#include "engine/fatal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <thread>

TEST(FatalExit, EndsWithItsLineWhileAnotherThreadKeepsStandardOutput) {
    EXPECT_EXIT(
        {
            alarm(10);  // a hang ends by SIGALRM instead
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
