// The keyboard device: acquired or lost here, once for every backend; the keys come from the running one.
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/keyboard.h"

namespace {
struct KeyboardRecord {
    bool acquired;
    bool lost;  // the focus went since the last read: the next read says so, once
};
KeyboardRecord keyboard;
}  // namespace

void KeyboardReset() { keyboard = KeyboardRecord{}; }

void KeyboardFocusLost() {
    keyboard.acquired = false;
    keyboard.lost = true;
}

int KeyboardCreate(Window window) {
    if (!window || FaultRefuses("no-keyboard")) return 0;
    keyboard.acquired = false;  // a new device is not acquired yet
    return 1;
}

int KeyboardAcquire() {
    keyboard.acquired = true;
    keyboard.lost = false;
    return 1;
}

KeyboardResult KeyboardGetState(uint8_t state[256]) {
    if (!keyboard.acquired) {
        if (!keyboard.lost) return KEYBOARD_NOT_ACQUIRED;
        keyboard.lost = false;
        return KEYBOARD_INPUT_LOST;
    }
    CurrentBackend()->readKeys(state);
    return KEYBOARD_OK;
}
