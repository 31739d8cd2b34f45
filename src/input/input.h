// Input: the keyboard, read once per frame into words of key bits.
#pragma once
#include <cstdint>
#include "platform/window.h"

constexpr uint16_t KEY_LEFT = 0x0001, KEY_RIGHT = 0x0002, KEY_UP = 0x0004, KEY_DOWN = 0x0008,
                   KEY_Z = 0x0010, KEY_X = 0x0020, KEY_C = 0x0040, KEY_V = 0x0080, KEY_SPACE = 0x0100,
                   KEY_F1 = 0x0200, KEY_F2 = 0x0400;

// The player's own keys (history, skip, auto, settings, self-voicing), which the story never reads, and
// the keys an overlay of the player's reads while the story stands still: a word of their own.
constexpr uint32_t PKEY_UP = 1u << 0, PKEY_DOWN = 1u << 1, PKEY_LEFT = 1u << 2, PKEY_RIGHT = 1u << 3,
                   PKEY_CONTROL = 1u << 4, PKEY_SHIFT = 1u << 5, PKEY_S = 1u << 6, PKEY_A = 1u << 7,
                   PKEY_V = 1u << 8, PKEY_F10 = 1u << 9, PKEY_PRIOR = 1u << 10, PKEY_NEXT = 1u << 11,
                   PKEY_WHEEL_UP = 1u << 12, PKEY_WHEEL_DOWN = 1u << 13, PKEY_TAP_OUTSIDE = 1u << 14,
                   PKEY_SPACE = 1u << 15;

struct InputState {
    uint16_t keysHeld;
    uint16_t keysPressed;
    int8_t inputMode;  // index into the input-mode table; only 0, the keyboard, is ever selected
    uint32_t playerHeld, playerPressed;  // PKEY_ bits, read with the story's keys (or by ReadPlayerKeys)
};
extern InputState input;
inline uint16_t& keysHeld = input.keysHeld;
inline uint16_t& keysPressed = input.keysPressed;

int InitInput(Window window);
void ReadInput(uint16_t* held, uint16_t* pressed);
void ReadKeyboard(uint16_t* held, uint16_t* pressed);
// While an overlay of the player's is open and no frame of the story runs: reads the keyboard into the
// player's word only (the story's keys stay as they were).
void ReadPlayerKeys();
