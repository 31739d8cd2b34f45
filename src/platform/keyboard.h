// Keyboard: the system keyboard as a 256-byte state indexed by key code.
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

// Key codes: the scan codes of the keys the game reads (set 1; cursor keys with the 0xE0 prefix as 0x80 up).
constexpr int KEYCODE_ESCAPE = 0x01, KEYCODE_RETURN = 0x1C, KEYCODE_A = 0x1E, KEYCODE_Z = 0x2C, KEYCODE_X = 0x2D,
              KEYCODE_C = 0x2E, KEYCODE_V = 0x2F, KEYCODE_SPACE = 0x39, KEYCODE_F1 = 0x3B, KEYCODE_F2 = 0x3C,
              KEYCODE_UP = 0xC8, KEYCODE_LEFT = 0xCB, KEYCODE_RIGHT = 0xCD, KEYCODE_DOWN = 0xD0;
// The player's own keys, which the story never reads: history (Page Up and Down, the wheel), skip (Ctrl,
// S), auto (A), settings (F10), self-voicing (Shift with V). The wheel's turns, a swipe and a tap outside
// an overlay have no scan code: they arrive as presses of codes no keyboard sends.
constexpr int KEYCODE_CONTROL = 0x1D, KEYCODE_SHIFT = 0x2A, KEYCODE_S = 0x1F, KEYCODE_F10 = 0x44,
              KEYCODE_RCONTROL = 0x9D, KEYCODE_PRIOR = 0xC9, KEYCODE_NEXT = 0xD1, KEYCODE_WHEEL_UP = 0xF1,
              KEYCODE_WHEEL_DOWN = 0xF2, KEYCODE_TAP_OUTSIDE = 0xF3;

// InitInput: creates the keyboard device, standard format, foreground non-exclusive. 1, or 0 when refused.
int KeyboardCreate(Window window);
// InitInput, ReadKeyboard: acquires the device. 1, or 0 when refused.
int KeyboardAcquire();
// ReadKeyboard: the keys down now, one byte per key code (non-zero = down).
KeyboardResult KeyboardGetState(uint8_t state[256]);
