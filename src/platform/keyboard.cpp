// The keyboard device, served by the running backend.
#include "platform/backend.h"
#include "platform/keyboard.h"

int KeyboardCreate(Window window) { return window ? CurrentBackend()->keyboardCreate() : 0; }
int KeyboardAcquire() { return CurrentBackend()->keyboardAcquire(); }
KeyboardResult KeyboardGetState(uint8_t state[256]) { return CurrentBackend()->keyboardGetState(state); }
