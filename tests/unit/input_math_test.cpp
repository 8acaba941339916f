#include "engine/input_math.h"

#include <gtest/gtest.h>

TEST(InputMath, CentringAndOffsetsAgreeOnEverySize) {
    // A pointer put at the centre must read offset 0, or the camera drifts.
    for (int size = 1; size <= 4096; size++)
        ASSERT_EQ(offset_from_center(size, center_coordinate(size)), 0) << "size " << size;
    EXPECT_EQ(center_coordinate(803), 401);  // 401.5 truncated, not rounded
    EXPECT_EQ(center_coordinate(800), 400);
}

TEST(InputMath, OffsetsArePositiveLeftOfAndAboveTheCentre) {
    EXPECT_EQ(offset_from_center(800, 400), 0);
    EXPECT_EQ(offset_from_center(800, 390), 10);
    EXPECT_EQ(offset_from_center(600, 310), -10);
    EXPECT_EQ(offset_from_center(800, 0), 400);  // the all-zero snapshot before any poll
}

TEST(InputMath, EdgesOnlyWhenTheStateChanges) {
    EXPECT_TRUE(went_down(false, true));
    EXPECT_FALSE(went_down(true, true));
    EXPECT_FALSE(went_down(false, false));
    EXPECT_FALSE(went_down(true, false));
    EXPECT_TRUE(went_up(true, false));
    EXPECT_FALSE(went_up(true, true));
    EXPECT_FALSE(went_up(false, false));
    EXPECT_FALSE(went_up(false, true));
}
