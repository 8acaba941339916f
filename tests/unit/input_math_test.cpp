#include "engine/input_math.h"

#include <gtest/gtest.h>

TEST(InputMath, CentringAndOffsetsAgreeOnEverySize) {
    // A pointer put at the centre must read offset 0, or the camera drifts.
    for (int size = 1; size <= 4096; size++)
        ASSERT_EQ(offset_from_center(size, center_coordinate(size)), 0) << "size " << size;
    EXPECT_EQ(center_coordinate(803), 401);  // 401.5 truncated, not rounded
    EXPECT_EQ(center_coordinate(800), 400);
}
