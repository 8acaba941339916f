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

TEST(Camera, YawWrapsOneStepEachWay) {
    Camera camera;
    camera.look(8, 0);  // eight pixels a degree from a start at yaw 0
    EXPECT_EQ(camera.yaw, 1);
    camera.yaw = 359.5;
    camera.look(8, 0);  // +1 degree
    EXPECT_EQ(camera.yaw, 0.5);
    camera.look(-8, 0);
    EXPECT_EQ(camera.yaw, 359.5);
    camera.yaw = 359;
    camera.look(8, 0);
    EXPECT_EQ(camera.yaw, 360);  // exactly 360 is kept
    camera.yaw = 0;
    camera.look(-16, 0);  // the pointer 16 pixels right of the centre
    EXPECT_EQ(camera.yaw, 358);
    camera.yaw = 10;
    camera.look(-4000, 0);  // -500 degrees in one frame: one step of 360 only
    EXPECT_EQ(camera.yaw, -130);
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
