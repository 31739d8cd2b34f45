// The player's comforts over the story: text speed, auto-advance, skip, the history and the settings
// overlay, and the voice. None of them changes a frame of a game played without them.
#pragma once
#include <cstdint>
#include "platform/window.h"

// What the comforts did to one frame beyond the keys: the session keeps it with the keys, and a replay
// sets it instead of deciding it, so that a continued game runs exactly as the one left.
struct ComfortFrame {
    uint8_t textSpeed = 1;  // characters typed this frame: 1, 2, 4; 0 the rest of the page
    uint8_t advance = 0;    // 1: a wait for a key ends this frame as if a key were pressed (auto, skip)
};
extern ComfortFrame comfortFrame;  // in effect for the frame being run

// RunFrame, after the keys are read: decides this frame's comforts from the settings, auto and skip.
void DecideComfortFrame();
