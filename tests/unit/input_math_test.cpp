#include "engine/input_math.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "engine/key_latch.h"

TEST(InputMath, CentringAndOffsetsAgreeOnEverySize) {
    // A pointer put at the centre must read offset 0, or the camera drifts.
    for (int size = 1; size <= 4096; size++)
        ASSERT_EQ(offset_from_center(size, center_coordinate(size)), 0) << "size " << size;
    EXPECT_EQ(center_coordinate(803), 401);  // 401.5 truncated, not rounded
    EXPECT_EQ(center_coordinate(800), 400);
}

// The X server's side of mouse look on an 800 x 600 window: the user's moves
// and the warps mouse look sent, done in the order the server gets them. A
// read is served after every warp sent before it, as on one connection.
struct PointerServer {
    int x, y;
    std::deque<CentringWarp> on_the_way;
    void warp_arrives() {
        if (on_the_way.empty()) return;
        const CentringWarp w = on_the_way.front();
        on_the_way.pop_front();
        x = w.relative ? x + w.x : w.x;
        y = w.relative ? y + w.y : w.y;
    }
};

TEST(InputMath, EveryMoveIsReadOnceWhileWarpsAreOnTheirWay) {
    // 'm': the user moves by (dx, dy); 'w': the oldest warp reaches the
    // server; 'c': mouse look centres; 'p': it reads the pointer (and sums
    // the movement it turns by); 'f': the window loses or regains the focus;
    // 's': it is hidden or shown again; 'g': another client grabs the pointer
    // or lets it go.
    struct Step {
        char what;
        int dx = 0, dy = 0;
    };
    const struct {
        const char* name;
        int start_x, start_y;
        std::vector<Step> steps;
        int counted_x, counted_y;  // movement read in all, right and down
    } rows[] = {
        {"single move", 400, 300, {{'c'}, {'w'}, {'m', 8, -8}, {'p'}, {'c'}, {'w'}, {'p'}}, 8, -8},
        {"moved while the warp is on its way", 400, 300,
         {{'c'}, {'w'}, {'m', 8}, {'p'}, {'c'}, {'m', 8}, {'m', 2, 2}, {'w'}, {'p'}, {'c'}, {'p'}}, 18, 2},
        {"a drag across reads and warps", 400, 300,
         {{'c'}, {'w'}, {'m', 2}, {'p'}, {'c'}, {'m', 2}, {'p'}, {'m', 2}, {'c'}, {'m', 2}, {'w'}, {'m', 2}, {'p'},
          {'c'}, {'m', 2}, {'w'}, {'p'}, {'c'}, {'p'}},
         12, 0},
        {"started away from the centre", 20, 30, {{'c'}, {'w'}, {'m', 8}, {'p'}, {'c'}, {'p'}}, 8, 0},
        {"centred twice before a read", 400, 300, {{'c'}, {'w'}, {'m', 8}, {'p'}, {'c'}, {'c'}, {'p'}, {'c'}, {'p'}}, 8, 0},
        {"a flick out of the window and back", 400, 300,
         {{'c'}, {'w'}, {'m', 500, 50}, {'p'}, {'c'}, {'m', 30}, {'w'}, {'m', -4}, {'p'}, {'c'}, {'p'}}, 526, 50},
        {"the focus lost and back: the way outside is not counted", 400, 300,
         {{'c'}, {'w'}, {'m', 8}, {'p'}, {'f'}, {'c'}, {'m', 300, 40}, {'p'}, {'m', -50}, {'f'}, {'p'}, {'c'}, {'w'},
          {'m', 4}, {'p'}, {'c'}, {'p'}},
         12, 0},
        {"hidden while it moves, then shown: from the centre", 400, 300,
         {{'c'}, {'w'}, {'s'}, {'m', 80, 8}, {'p'}, {'c'}, {'m', 8}, {'p'}, {'s'}, {'p'}, {'c'}, {'w'}, {'m', 4},
          {'p'}, {'c'}, {'p'}},
         4, 0},
        {"grabbed by another client", 400, 300,
         {{'c'}, {'w'}, {'g'}, {'m', 80, 8}, {'p'}, {'c'}, {'g'}, {'p'}, {'c'}, {'w'}, {'m', 0, 4}, {'p'}, {'c'}, {'p'}},
         0, 4},
    };
    for (const auto& row : rows) {
        PointerServer server{row.start_x, row.start_y, {}};
        PointerRead read{0, 0, false};
        bool focused = true, shown = true, grabbed = false, held = true;
        int counted_x = 0, counted_y = 0;
        for (const Step& step : row.steps) {
            if (step.what == 'm') server.x += step.dx, server.y += step.dy;
            if (step.what == 'w') server.warp_arrives();
            if (step.what == 'f') focused = !focused;
            if (step.what == 's') shown = !shown;
            if (step.what == 'g') grabbed = !grabbed;
            const bool free = pointer_free_for_look(focused, shown, grabbed);
            if (step.what == 'c') {
                held = free;
                CentringWarp warp = centring_warp(held, read, 400, 300);
                if (warp.needed) server.on_the_way.push_back(warp);
                read = {400, 300, held};
            }
            if (step.what == 'p') {
                while (!server.on_the_way.empty()) server.warp_arrives();
                read = read_pointer(server.x, server.y, held && free, 800, 600);
                counted_x += read.x - 400, counted_y += read.y - 300;
            }
        }
        EXPECT_EQ(counted_x, row.counted_x) << row.name;
        EXPECT_EQ(counted_y, row.counted_y) << row.name;
        EXPECT_TRUE(read.x == 400 && read.y == 300) << row.name << ": the pointer rests at the centre";
    }
}

TEST(InputMath, AKeyThatWentDownSinceTheLastPollReadsDownInTheNextSnapshot) {
    // 'd': Escape goes down, 'u': it goes up, 'p': a poll (the keys as held,
    // then the latched ones added); `seen`: Escape in each poll's snapshot.
    const struct {
        const char* steps;
        const char* seen;
    } rows[] = {
        {"pdupp", "010"},    // a tap between two polls, down in one snapshot only
        {"pdppup", "0110"},  // held: down until the poll after it goes up
        {"pdpup", "010"},    // down before a poll, up after it
        {"pdudupp", "010"},  // two taps between polls
        {"dpudpup", "110"},  // let go and pressed again between polls
        {"pp", "00"},
    };
    for (const auto& row : rows) {
        KeyLatch latch, held;  // held: the library's own state, the keys down now
        std::string seen;
        for (const char* step = row.steps; *step; step++) {
            if (*step == 'd') latch.went_down(ALLEGRO_KEY_ESCAPE), held.went_down(ALLEGRO_KEY_ESCAPE);
            if (*step == 'u') held = KeyLatch();
            if (*step == 'p') {
                ALLEGRO_KEYBOARD_STATE snapshot{};
                KeyLatch(held).hold_in(snapshot);
                latch.hold_in(snapshot);
                seen += al_key_down(&snapshot, ALLEGRO_KEY_ESCAPE) ? '1' : '0';
            }
        }
        EXPECT_EQ(seen, row.seen) << row.steps;
    }
    // Each key reads as itself through the library's own test, and codes
    // the library has not change nothing.
    for (int key = 1; key < ALLEGRO_KEY_MAX; key++) {
        KeyLatch latch;
        ALLEGRO_KEYBOARD_STATE snapshot{};
        for (int stray : {-1, 0, key, int{ALLEGRO_KEY_MAX}, 1 << 20}) latch.went_down(stray);
        latch.hold_in(snapshot);
        for (int other = 1; other < ALLEGRO_KEY_MAX; other++)
            ASSERT_EQ(al_key_down(&snapshot, other), other == key) << key << " latched, " << other << " read";
    }
}
