// The keyboard, read once per frame into the held and newly-pressed key words.
#include "input/input.h"
#include "platform/keyboard.h"

InputState input;

namespace {
struct KeyBit {
    uint16_t bit;
    int code;
};
const KeyBit keyMap[11] = {
    {KEY_LEFT, KEYCODE_LEFT}, {KEY_RIGHT, KEYCODE_RIGHT}, {KEY_UP, KEYCODE_UP},     {KEY_DOWN, KEYCODE_DOWN},
    {KEY_Z, KEYCODE_Z},       {KEY_X, KEYCODE_X},         {KEY_C, KEYCODE_C},       {KEY_V, KEYCODE_V},
    {KEY_SPACE, KEYCODE_SPACE}, {KEY_F1, KEYCODE_F1},     {KEY_F2, KEYCODE_F2},
};

struct PlayerKey {
    uint32_t bit;
    int code;
};
const PlayerKey playerMap[] = {
    {PKEY_UP, KEYCODE_UP},           {PKEY_DOWN, KEYCODE_DOWN},           {PKEY_LEFT, KEYCODE_LEFT},
    {PKEY_RIGHT, KEYCODE_RIGHT},     {PKEY_CONTROL, KEYCODE_CONTROL},     {PKEY_CONTROL, KEYCODE_RCONTROL},
    {PKEY_SHIFT, KEYCODE_SHIFT},     {PKEY_S, KEYCODE_S},                 {PKEY_A, KEYCODE_A},
    {PKEY_V, KEYCODE_V},             {PKEY_F10, KEYCODE_F10},             {PKEY_PRIOR, KEYCODE_PRIOR},
    {PKEY_NEXT, KEYCODE_NEXT},       {PKEY_WHEEL_UP, KEYCODE_WHEEL_UP},   {PKEY_WHEEL_DOWN, KEYCODE_WHEEL_DOWN},
    {PKEY_TAP_OUTSIDE, KEYCODE_TAP_OUTSIDE}, {PKEY_SPACE, KEYCODE_SPACE},
};

void TakePlayerKeys(const uint8_t state[256]) {
    uint32_t previous = input.playerHeld, held = 0;
    for (const PlayerKey& key : playerMap)
        if (state[key.code]) held |= key.bit;
    input.playerHeld = held;
    input.playerPressed = (previous ^ held) & held;
}

using Reader = void (*)(uint16_t*, uint16_t*);
const Reader inputModeTable[4] = {ReadKeyboard, [](uint16_t*, uint16_t*) {}, nullptr, nullptr};
}  // namespace

int InitInput(Window window) {
    if (!KeyboardCreate(window)) {
        ReportFailure("no keyboard could be opened");
        DestroyMainWindow(window);
        return 0;
    }
    KeyboardAcquire();
    input.inputMode = 0;
    return 1;
}

void ReadInput(uint16_t* held, uint16_t* pressed) {
    int mode = input.inputMode;
    if (mode >= 0 && mode < 4 && inputModeTable[mode]) inputModeTable[mode](held, pressed);
}

void ReadKeyboard(uint16_t* held, uint16_t* pressed) {
    uint16_t previous = *held;
    uint8_t state[256] = {};
    KeyboardResult result = KeyboardGetState(state);
    if (result == KEYBOARD_OK) {
        for (const KeyBit& key : keyMap) {
            if (state[key.code])
                *held |= key.bit;
            else
                *held &= uint16_t(~key.bit);
        }
        TakePlayerKeys(state);
        if (input.playerHeld & PKEY_SHIFT) *held &= uint16_t(~KEY_V);  // Shift+V is the player's, not the story's
    } else if (result == KEYBOARD_INPUT_LOST) {
        KeyboardAcquire();
    }
    *pressed = uint16_t((previous ^ *held) & *held);
}

void ReadPlayerKeys() {
    uint8_t state[256] = {};
    KeyboardResult result = KeyboardGetState(state);
    if (result == KEYBOARD_INPUT_LOST) KeyboardAcquire();
    TakePlayerKeys(state);
}
