#include "camera/camera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

// Exact to the last bit with the viewer's own pi, 3.14159265358979 (7 units in
// the last place below the true one, whose degree is 0.017453292519943295).
TEST(Camera, AngleConversionsUseTheViewersOwnPiToTheLastBit) {
    Camera camera;
    EXPECT_EQ(camera.deg_to_rad(1), 0.017453292519943278);
    EXPECT_EQ(camera.rad_to_deg(1), 57.29577951308238);
    EXPECT_EQ(camera.deg_to_rad(90), 90 * 0.017453292519943278);
}

TEST(Camera, FieldOfViewStartsAt90AndStaysWithin1And179) {
    Camera camera;
    EXPECT_EQ(camera.fov, 90);
    const double cases[][2] = {{0.5, 1},   {1, 1},     {1.0000001, 1.0000001}, {150, 150},
                               {179, 179}, {200, 179}, {-30, 1},               {179.5, 179}};
    for (const auto& c : cases) {
        camera.set_fov(c[0]);
        EXPECT_EQ(camera.fov, c[1]) << "set_fov(" << c[0] << ")";
    }
    camera.set_fov(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(camera.fov, 1);
    camera.set_fov(std::numeric_limits<double>::infinity());
    EXPECT_EQ(camera.fov, 179);
}

TEST(Camera, YawWrapsIntoOneTurnWhateverTheMove) {
    // Eight pixels a degree; moves of more than a turn in one frame.
    const struct {
        double start;
        int pixels;
        double yaw;
    } rows[] = {
        {10, -4000, 230},  // -500 degrees
        {0, -15000, 285},  // a wide desktop's move, -1875 degrees
        {0, 5760, 360},    {0, -5760, 0},    {200, 23040, 200},  // whole turns
    };
    for (const auto& row : rows) {
        Camera camera;
        camera.yaw = row.start;
        camera.look(row.pixels, 0);
        EXPECT_EQ(camera.yaw, row.yaw) << "from " << row.start << " by " << row.pixels << " pixels";
    }
    // Any move under a full turn (2880 pixels) gives what one step of 360
    // each way always gave, to the last bit: exactly 360 is kept, landing on
    // 0 stays 0, a pointer left of the centre turns the yaw up.
    for (double start : {0.0, 0.125, 90.0, 359.875, 360.0}) {
        for (int pixels = -2879; pixels <= 2879; pixels++) {
            double one_step = start + pixels * 0.125;
            if (one_step > 360) one_step -= 360;
            if (one_step < 0) one_step += 360;
            Camera camera;
            camera.yaw = start;
            camera.look(pixels, 0);
            ASSERT_EQ(camera.yaw, one_step) << "from " << start << " by " << pixels << " pixels";
        }
    }
}

TEST(Camera, PitchStopsAtStraightUpAndDown) {
    Camera camera;
    camera.look(0, -4);  // from a start at pitch 0
    EXPECT_EQ(camera.pitch, -0.5);
    camera.pitch = 89;
    camera.look(0, 40);
    EXPECT_EQ(camera.pitch, 90);
    camera.look(0, 40);
    EXPECT_EQ(camera.pitch, 90);
    camera.look(0, -8);
    EXPECT_EQ(camera.pitch, 89);
    camera.pitch = -89;
    camera.look(0, -40);
    EXPECT_EQ(camera.pitch, -90);
    EXPECT_EQ(camera.yaw, 0);  // a vertical move leaves the heading alone
}

// Position after one move from the origin at a heading.
struct Moved {
    double x, y, z;
};
template <typename Move>
Moved after(double yaw, Move move) {
    Camera camera;
    camera.yaw = yaw;
    (camera.*move)(2, 0.5);  // d = 1
    return {camera.x, camera.y, camera.z};
}

TEST(Camera, AlongMovesFollowTheHeading) {
    Moved m = after(0, &Camera::push_along_yaw);
    EXPECT_EQ(m.z, 1);
    EXPECT_EQ(m.x, 0);
    m = after(90, &Camera::push_along_yaw);
    EXPECT_EQ(m.x, 1);
    EXPECT_GT(m.z, 1e-15);  // the short pi leaves a trace: cos is 1.6e-15, not 6e-17
    EXPECT_LT(m.z, 2e-15);
    m = after(45, &Camera::pull_along_yaw);
    EXPECT_NEAR(m.x, -std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(m.z, -std::sqrt(0.5), 1e-12);
    EXPECT_EQ(m.y, 0);
}

TEST(Camera, AcrossMovesMirrorTheHeadingAboutTheDiagonal) {
    // Perpendicular to "along" at 0 and 90, the same at 45, opposite at 135.
    Moved m = after(0, &Camera::push_across_yaw);
    EXPECT_EQ(m.x, 1);
    EXPECT_EQ(m.z, 0);
    m = after(90, &Camera::push_across_yaw);
    EXPECT_EQ(m.z, 1);
    EXPECT_NEAR(m.x, 0, 2e-15);
    Moved along = after(45, &Camera::push_along_yaw), across = after(45, &Camera::push_across_yaw);
    EXPECT_NEAR(across.x, along.x, 1e-12);
    EXPECT_NEAR(across.z, along.z, 1e-12);
    along = after(135, &Camera::push_along_yaw);
    across = after(135, &Camera::push_across_yaw);
    EXPECT_NEAR(across.x, -along.x, 1e-12);
    EXPECT_NEAR(across.z, -along.z, 1e-12);
    m = after(135, &Camera::pull_across_yaw);
    EXPECT_NEAR(m.x, std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(m.z, -std::sqrt(0.5), 1e-12);
}
