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
    } else if (result == KEYBOARD_INPUT_LOST) {
        KeyboardAcquire();
    }
    *pressed = uint16_t((previous ^ *held) & *held);
}
