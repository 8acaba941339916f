#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "camera/camera.h"
#include "turns.h"

namespace {

// A point through a library transform, with w kept: clip coordinates.
void to_clip(const ALLEGRO_TRANSFORM& t, Vec p, double clip[4]) {
    float x = p.x, y = p.y, z = p.z, w = 1;
    al_transform_coordinates_4d(&t, &x, &y, &z, &w);
    clip[0] = x, clip[1] = y, clip[2] = z, clip[3] = w;
}

Vec through(const ALLEGRO_TRANSFORM& t, Vec p) {
    float x = p.x, y = p.y, z = p.z;
    al_transform_coordinates_3d(&t, &x, &y, &z);
    return {x, y, z};
}

bool same_matrix(const ALLEGRO_TRANSFORM& a, const ALLEGRO_TRANSFORM& b) {
    return std::memcmp(a.m, b.m, sizeof a.m) == 0;
}

}  // namespace

TEST(Projection, StartViewFrustumIsOffAxisWithTheGivenBounds) {
    Frustum f = frustum_for(150, 800, 600);
    EXPECT_FLOAT_EQ(f.top, 1.8660254f);
    EXPECT_FLOAT_EQ(f.bottom, 1.3995191f);
    EXPECT_EQ(f.left, -f.top);  // rounded to float, then negated: exact
    EXPECT_EQ(f.right, -f.bottom);
    EXPECT_EQ(f.near_z, 0.5f);
    EXPECT_EQ(f.far_z, 1337.0f);
    // A wider display narrows b only: t is the field of view's alone.
    Frustum wide = frustum_for(150, 1600, 600);
    EXPECT_EQ(wide.top, f.top);
    EXPECT_FLOAT_EQ(wide.bottom, f.bottom / 2);
}

TEST(Projection, FrustumCornersLandOnTheClipVolumeCorners) {
    Camera camera;
    camera.set_fov(150);
    ALLEGRO_TRANSFORM p = camera.projection_for(800, 600);
    Frustum f = frustum_for(150, 800, 600);
    const double n = f.near_z, far = f.far_z, k = far / n;
    struct Case {
        Vec point;
        double ndc[3];
    } cases[] = {
        {{f.left, f.top, -n}, {-1, 1, -1}},                    // near plane, left and top bounds
        {{f.right, f.bottom, -n}, {1, -1, -1}},                // near plane, right and bottom
        {{f.left * k, f.bottom * k, -far}, {-1, -1, 1}},       // far plane
        {{(f.left + f.right) / 2 * 10, (f.top + f.bottom) / 2 * 10, -n * 10}, {0, 0, NAN}},  // window centre
    };
    for (const Case& c : cases) {
        double clip[4];
        to_clip(p, c.point, clip);
        EXPECT_NEAR(clip[3], -c.point.z, 1e-3);  // w is the distance in front
        for (int axis = 0; axis < 3; axis++) {
            if (!std::isnan(c.ndc[axis])) {
                EXPECT_NEAR(clip[axis] / clip[3], c.ndc[axis], 2e-3) << "axis " << axis;
            }
        }
    }
}

TEST(Projection, IsStoredInTheCameraAndTouchesNothingElse) {
    Camera camera;
    camera.set_fov(150);
    camera.x = 1, camera.y = 2, camera.z = 3, camera.yaw = 40, camera.pitch = -5;
    ALLEGRO_TRANSFORM p = camera.projection_for(800, 600);
    EXPECT_TRUE(same_matrix(p, camera.transform));
    EXPECT_EQ(camera.fov, 150);
    EXPECT_EQ(camera.x, 1);
    EXPECT_EQ(camera.yaw, 40);
    EXPECT_EQ(camera.pitch, -5);
}

TEST(View, AtRestIsTheIdentityAndBringsTheCameraPositionToTheOrigin) {
    Camera camera;
    ALLEGRO_TRANSFORM identity;
    al_identity_transform(&identity);
    EXPECT_TRUE(same_matrix(camera.view(), identity));
    EXPECT_TRUE(same_matrix(camera.transform, identity));
    camera.x = 1, camera.y = 2, camera.z = 3;
    Vec p = through(camera.view(), {1, 2, 3});
    EXPECT_FLOAT_EQ(p.x, 0);
    EXPECT_FLOAT_EQ(p.y, 0);
    EXPECT_FLOAT_EQ(p.z, 0);
}

TEST(View, TurnsByPitchThenYawThenShiftsInTheTurnedFrame) {
    const struct {
        double yaw, pitch;
        Vec position, point;
    } cases[] = {
        {90, 0, {0, 0, 0}, {0, 0, -1}},
        {0, 30, {0, 0, 0}, {0, 1, -2}},
        {50, 30, {1, -2, 3}, {4, 5, -6}},
        {358, -12.5, {-7, 0.5, 2}, {-10, 3, -8}},
    };
    for (const auto& c : cases) {
        Camera camera;
        camera.yaw = c.yaw, camera.pitch = c.pitch;
        camera.x = c.position.x, camera.y = c.position.y, camera.z = c.position.z;
        Vec got = through(camera.view(), c.point);
        Vec turned = rotate(rotate(c.point, {-1, 0, 0}, c.pitch), {0, -1, 0}, c.yaw);
        Vec want{turned.x - c.position.x, turned.y - c.position.y, turned.z - c.position.z};
        EXPECT_NEAR(got.x, want.x, 1e-4) << "yaw " << c.yaw << " pitch " << c.pitch;
        EXPECT_NEAR(got.y, want.y, 1e-4) << "yaw " << c.yaw << " pitch " << c.pitch;
        EXPECT_NEAR(got.z, want.z, 1e-4) << "yaw " << c.yaw << " pitch " << c.pitch;
        EXPECT_TRUE(same_matrix(camera.transform, camera.view()));
    }
    // Turned to yaw 90, what lay straight ahead (-z) is now on the right (+x).
    Camera camera;
    camera.yaw = 90;
    Vec ahead = through(camera.view(), {0, 0, -1});
    EXPECT_NEAR(ahead.x, 1, 1e-6);
    EXPECT_NEAR(ahead.z, 0, 1e-6);
}
