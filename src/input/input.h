// Input: the keyboard, read once per frame into words of key bits.
#pragma once
#include <cstdint>
#include "platform/window.h"

constexpr uint16_t KEY_LEFT = 0x0001, KEY_RIGHT = 0x0002, KEY_UP = 0x0004, KEY_DOWN = 0x0008,
                   KEY_Z = 0x0010, KEY_X = 0x0020, KEY_C = 0x0040, KEY_V = 0x0080, KEY_SPACE = 0x0100,
                   KEY_F1 = 0x0200, KEY_F2 = 0x0400;

struct InputState {
    uint16_t keysHeld;
    uint16_t keysPressed;
    int8_t inputMode;  // index into the input-mode table; only 0, the keyboard, is ever selected
};
extern InputState input;
inline uint16_t& keysHeld = input.keysHeld;
inline uint16_t& keysPressed = input.keysPressed;

int InitInput(Window window);
void ReadInput(uint16_t* held, uint16_t* pressed);
void ReadKeyboard(uint16_t* held, uint16_t* pressed);
