// Hooks: where tests, tools and the frame trace look in on the game or step in, kept apart from the
// game's own state. Each is null unless someone sets it; one user at a time.
#pragma once
#include <cstdint>
#include "platform/window.h"

struct Hooks {
    void (*beforeScene)(Window window);  // RunChapter, before each frame's scene (tests drive keys here)
    uint32_t (*musicClock)();            // the music's milliseconds instead of ClockMilliseconds
    void (*soundStarted)(int slot);      // PlaySlot, for every sound that started (the frame trace)
};
extern Hooks hooks;
