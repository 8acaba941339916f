// Keys that went down between two polls of the keyboard. A poll's snapshot
// holds them down even when they were let go before it, so a tap shorter
// than a frame is still seen. Needs no window, so it is checked without one.
#pragma once

#include <allegro5/allegro.h>

#include <bitset>

class KeyLatch {
public:
    // `key` (the library's key code) went down; codes it has not are ignored.
    void went_down(int key) {
        if (key > 0 && key < ALLEGRO_KEY_MAX) latched_[key] = true;
    }

    // Adds every key latched since the last call to `snapshot`, the keys held
    // as the library read them, and starts latching afresh.
    void hold_in(ALLEGRO_KEYBOARD_STATE& snapshot) {
        if (latched_.none()) return;
        // The library's own layout, which al_key_down reads: bit key % 32 of
        // word key / 32.
        for (int key = 1; key < ALLEGRO_KEY_MAX; key++)
            if (latched_[key]) snapshot.__key_down__internal__[key / 32] |= 1u << (key % 32);
        latched_.reset();
    }

private:
    std::bitset<ALLEGRO_KEY_MAX> latched_;
};
