// Keyboard: the system keyboard as a 256-byte state indexed by DirectInput key codes.
// Used by InitInput and ReadKeyboard.
#pragma once
#include <cstdint>
#include "platform/window.h"

enum KeyboardResult {
    KEYBOARD_OK = 0,
    KEYBOARD_INPUT_LOST,    // the window lost the foreground since the last read; Acquire again
    KEYBOARD_NOT_ACQUIRED,
    KEYBOARD_FAILED,
};

constexpr int DIK_Z = 0x2C, DIK_X = 0x2D, DIK_C = 0x2E, DIK_V = 0x2F, DIK_SPACE = 0x39, DIK_F1 = 0x3B,
              DIK_F2 = 0x3C, DIK_RETURN = 0x1C, DIK_A = 0x1E, DIK_UP = 0xC8, DIK_LEFT = 0xCB,
              DIK_RIGHT = 0xCD, DIK_DOWN = 0xD0, DIK_ESCAPE = 0x01;

// InitInput: creates the keyboard device, standard format, foreground non-exclusive. 1, or 0 when refused.
int KeyboardCreate(Window window);
// InitInput, ReadKeyboard: acquires the device. 1, or 0 when refused.
int KeyboardAcquire();
// ReadKeyboard: the keys down now, one byte per key code (non-zero = down).
KeyboardResult KeyboardGetState(uint8_t state[256]);
