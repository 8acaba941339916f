// The drawn picture: a flat plateau seen through the camera. What each window
// pixel should show is worked out here from the viewer's geometry: the
// off-axis frustum (fov 150 on 800 x 600, near 0.5), the view's turns about
// (-1, 0, 0) by the pitch and (0, -1, 0) by the yaw, and the mesh's layout.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "turns.h"
#include "viewer_run.h"

namespace {

constexpr int SIDE = 48;              // the plateau image, pixels
constexpr int LEVEL = 176;            // its grey level: 20 units above the camera
constexpr double HEIGHT = LEVEL - 156;
constexpr unsigned GREEN = 0x003200;  // green 50 of 255: every level above 50
constexpr double PI_ = 3.14159265358979;

enum class Seen { terrain, sky, unsure };

// What the ray through the centre of window pixel (px, py) meets.
Seen seen_at(double px, double py, double yaw, double pitch) {
    const double t = std::tan(150.0 / 360 * PI_) * 0.5, b = t / (800.0 / 600.0), n = 0.5;
    const double left = -t, right = -b, top = t, bottom = b;
    double nx = (px + 0.5) / 800 * 2 - 1, ny = 1 - (py + 0.5) / 600 * 2;
    Vec eye{left + (nx + 1) / 2 * (right - left), bottom + (ny + 1) / 2 * (top - bottom), -n};
    // The view turns the world by the pitch, then the yaw: undo them in reverse.
    Vec d = rotate(rotate(eye, {0, -1, 0}, -yaw), {-1, 0, 0}, -pitch);
    if (d.y <= 0) return Seen::unsure;
    double s = HEIGHT / d.y;  // along the ray to the plateau's plane; depth there is s x n
    if (s < 1.01 || s * n > 1300) return Seen::unsure;
    double x = s * d.x, z = s * d.z, margin = 0.3;
    // Flat between pixel columns and rows 0 and SIDE - 1, that is world -20 .. SIDE - 21.
    if (x > -20 + margin && x < SIDE - 21 - margin && z > -20 + margin && z < SIDE - 21 - margin) return Seen::terrain;
    // Nothing lies before the first column or row: the sky.
    if (x < -20 - margin || z < -20 - margin) return Seen::sky;
    return Seen::unsure;
}

// A pixel whose neighbourhood all agrees; unsure near an edge.
Seen seen_clearly(int px, int py, double yaw, double pitch) {
    Seen centre = seen_at(px, py, yaw, pitch);
    for (int dy = -2; dy <= 2; dy += 2)
        for (int dx = -2; dx <= 2; dx += 2)
            if (seen_at(px + dx, py + dy, yaw, pitch) != centre) return Seen::unsure;
    return centre;
}

struct Comparison {
    int terrain = 0, sky = 0, wrong = 0;
};

Comparison compare(const Screenshot& shot, double yaw, double pitch) {
    Comparison c;
    for (int py = 2; py < 598; py += 5) {
        for (int px = 2; px < 798; px += 5) {
            Seen seen = seen_clearly(px, py, yaw, pitch);
            if (seen == Seen::unsure) continue;
            unsigned want = seen == Seen::terrain ? GREEN : 0;
            (seen == Seen::terrain ? c.terrain : c.sky)++;
            if (shot.pixel(px, py) != want) {
                if (c.wrong++ < 5)
                    ADD_FAILURE() << "pixel (" << px << ", " << py << ") is " << std::hex << shot.pixel(px, py)
                                  << ", expected " << want << " at yaw " << std::dec << yaw << ", pitch " << pitch;
            }
        }
    }
    return c;
}

// Pixels whose expected look differs between two camera angles.
int changed_between(double yaw0, double pitch0, double yaw1, double pitch1) {
    int changed = 0;
    for (int py = 2; py < 598; py += 5)
        for (int px = 2; px < 798; px += 5) {
            Seen a = seen_clearly(px, py, yaw0, pitch0), b = seen_clearly(px, py, yaw1, pitch1);
            changed += a != Seen::unsure && b != Seen::unsure && a != b;
        }
    return changed;
}

class Picture_ : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(run_.put_heightmap(grey_picture(SIDE, SIDE, std::vector<uint8_t>(SIDE * SIDE, LEVEL))));
        run_.start();
        window_ = run_.window();
        ASSERT_FALSE(window_.empty());
        ASSERT_TRUE(run_.wait_for_frames(5));
    }
    void TearDown() override {
        if (!window_.empty()) run_.press_escape();
    }

    // A screenshot taken while the angles held still; they are returned too.
    bool steady_screenshot(Screenshot& shot, Angles& angles) {
        for (int attempt = 0; attempt < 20; attempt++) {
            usleep(200000);
            Angles before = run_.latest_angles();
            if (!shot.take(window_)) return false;
            usleep(100000);
            Angles after = run_.latest_angles();
            if (before.yaw == after.yaw && before.pitch == after.pitch) {
                angles = after;
                return true;
            }
        }
        return false;
    }
    ViewerRun run_;
    std::string window_;
};

}  // namespace

TEST_F(Picture_, APlateauShowsWhereTheCameraPutsItAndMovesAsTheCameraTurns) {
    Screenshot shot;
    Angles angles;
    ASSERT_TRUE(steady_screenshot(shot, angles));
    ASSERT_EQ(shot.width, 800);
    ASSERT_EQ(shot.height, 600);
    EXPECT_EQ(angles.yaw, 0);
    EXPECT_EQ(angles.pitch, 0);
    Comparison start = compare(shot, 0, 0);
    EXPECT_EQ(start.wrong, 0);
    EXPECT_GT(start.terrain, 2000);  // both plateau and sky are in view and checked
    EXPECT_GT(start.sky, 2000);

    // 80 pixels right of the centre: 10 degrees to the right a move seen.
    ASSERT_TRUE(run_.turn_until(window_, 480, 300, [](Angles a) { return a.yaw != 0; }));
    ASSERT_TRUE(steady_screenshot(shot, angles));
    EXPECT_EQ(angles.pitch, 0);
    EXPECT_EQ(angles.yaw % 10, 0);
    EXPECT_GT(changed_between(0, 0, angles.yaw, 0), 300);
    Comparison turned = compare(shot, angles.yaw, 0);
    EXPECT_EQ(turned.wrong, 0);

    // 80 pixels above: 10 degrees up a move seen.
    Angles level = angles;
    ASSERT_TRUE(run_.turn_until(window_, 400, 220, [](Angles a) { return a.pitch != 0; }));
    ASSERT_TRUE(steady_screenshot(shot, angles));
    EXPECT_EQ(angles.yaw, level.yaw);
    EXPECT_GT(angles.pitch, 0);
    EXPECT_EQ(angles.pitch % 10, 0);
    EXPECT_GT(changed_between(level.yaw, 0, angles.yaw, angles.pitch), 300);
    Comparison raised = compare(shot, angles.yaw, angles.pitch);
    EXPECT_EQ(raised.wrong, 0);
    EXPECT_GT(raised.terrain + raised.sky, 5000);
}

TEST(SamplePicture, TheFirstFrameOfTheShippedSampleShowsTerrainAndSky) {
    // The same first frame whichever route TERRAIN_VIEWER_DRAW picks; an
    // unknown route is said, and the renderer decides.
    const struct {
        const char* route;
        std::string err;
    } routes[] = {
        {nullptr, ""},
        {"buffers", ""},
        {"vbo", "terrain-viewer: TERRAIN_VIEWER_DRAW=vbo is none of auto, memory, buffers; the renderer decides the "
                "route\n"},
    };
    Screenshot first;
    for (const auto& r : routes) {
        ViewerRun run;
        const std::string route = r.route ? r.route : "unset";
        std::string copy = "cp '" SAMPLE_HEIGHTMAP "' '" + run.folder().file("hmap.bmp") + "'";
        ASSERT_EQ(std::system(copy.c_str()), 0);
        if (r.route) setenv("TERRAIN_VIEWER_DRAW", r.route, 1);
        run.start();
        unsetenv("TERRAIN_VIEWER_DRAW");
        std::string window = run.window();
        ASSERT_FALSE(window.empty()) << route;
        ASSERT_TRUE(run.wait_for_frames(5)) << route;
        Screenshot shot;
        ASSERT_TRUE(shot.take(window)) << route;
        int terrain = 0, sky = 0;
        for (int y = 0; y < shot.height; y += 4)
            for (int x = 0; x < shot.width; x += 4) {
                terrain += shot.pixel(x, y) == GREEN;
                sky += shot.pixel(x, y) == 0;
            }
        const int samples = (shot.width / 4) * (shot.height / 4);
        EXPECT_GT(terrain, samples / 10) << route;
        EXPECT_GT(sky, samples / 10) << route;
        EXPECT_EQ(terrain + sky, samples) << route;  // nothing but terrain green and black
        if (first.rgb.empty()) first = shot;
        EXPECT_TRUE(shot.rgb == first.rgb) << route;
        EXPECT_TRUE(run.press_escape()) << route;
        EXPECT_EQ(run.child().err(), r.err) << route;
    }
}
