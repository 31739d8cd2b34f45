// The SDL backend's events and keys: focus, close and Esc as messages, the keyboard and game controllers
// as key codes (a tap between two reads counts as down), the wheel's turns as one-read presses, F11 and
// Alt+Enter, F12; the system about to end or hide the program as a call of the suspend handler.
#include <cstdio>
#include <cstring>
#include <vector>
#include "platform/sdl/sdl.h"
#include "platform/window.h"

namespace {
constexpr int STICK_THRESHOLD = 16000;  // of 32767: past it the left stick counts as a cursor key

struct KeyCode {
    SDL_Scancode scancode;
    int code;
};
const KeyCode keyCodes[] = {
    {SDL_SCANCODE_LEFT, KEYCODE_LEFT}, {SDL_SCANCODE_RIGHT, KEYCODE_RIGHT}, {SDL_SCANCODE_UP, KEYCODE_UP},
    {SDL_SCANCODE_DOWN, KEYCODE_DOWN}, {SDL_SCANCODE_Z, KEYCODE_Z},         {SDL_SCANCODE_X, KEYCODE_X},
    {SDL_SCANCODE_C, KEYCODE_C},       {SDL_SCANCODE_V, KEYCODE_V},         {SDL_SCANCODE_SPACE, KEYCODE_SPACE},
    {SDL_SCANCODE_F1, KEYCODE_F1},     {SDL_SCANCODE_F2, KEYCODE_F2},       {SDL_SCANCODE_RETURN, KEYCODE_RETURN},
    {SDL_SCANCODE_A, KEYCODE_A},       {SDL_SCANCODE_ESCAPE, KEYCODE_ESCAPE},
    // The player's own keys (history, skip, settings, self-voicing), which the story never reads.
    {SDL_SCANCODE_PAGEUP, KEYCODE_PRIOR},     {SDL_SCANCODE_PAGEDOWN, KEYCODE_NEXT},
    {SDL_SCANCODE_LCTRL, KEYCODE_CONTROL},    {SDL_SCANCODE_RCTRL, KEYCODE_RCONTROL},
    {SDL_SCANCODE_LSHIFT, KEYCODE_SHIFT},     {SDL_SCANCODE_RSHIFT, KEYCODE_SHIFT},
    {SDL_SCANCODE_S, KEYCODE_S},              {SDL_SCANCODE_F10, KEYCODE_F10},
};

// Pad buttons as keys: d-pad as the cursor keys, A as Space, B as F1, X and Y as Z and X, Start as Space.
// Back/Select is left alone.
struct PadButton {
    SDL_GameControllerButton button;
    int code;
};
const PadButton padButtons[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, KEYCODE_LEFT}, {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, KEYCODE_RIGHT},
    {SDL_CONTROLLER_BUTTON_DPAD_UP, KEYCODE_UP},     {SDL_CONTROLLER_BUTTON_DPAD_DOWN, KEYCODE_DOWN},
    {SDL_CONTROLLER_BUTTON_A, KEYCODE_SPACE},        {SDL_CONTROLLER_BUTTON_B, KEYCODE_F1},
    {SDL_CONTROLLER_BUTTON_X, KEYCODE_Z},            {SDL_CONTROLLER_BUTTON_Y, KEYCODE_X},
    {SDL_CONTROLLER_BUTTON_START, KEYCODE_SPACE},
};
const int stickCodes[4] = {KEYCODE_LEFT, KEYCODE_RIGHT, KEYCODE_UP, KEYCODE_DOWN};

void SetActive(bool active) {
    if (active == sdl.active) return;
    sdl.active = active;
    QueueMessage(MSG_ACTIVATEAPP, active ? 1 : 0, 0);
    SoundBackendPause(active ? 0 : 1);
    if (!active) {
        KeyboardFocusLost();
        std::memset(sdl.tapped, 0, sizeof sdl.tapped);
    }
    sdl.pacing.resumed = true;  // the time away is not a frame interval
    sdl.pacing.base = 0;
}

void Tap(int code) { sdl.tapped[code & 0xFF] = 1; }

void HandleStick(const SDL_ControllerAxisEvent& axis) {
    int low = -1, high = -1;
    if (axis.axis == SDL_CONTROLLER_AXIS_LEFTX) low = 0, high = 1;
    if (axis.axis == SDL_CONTROLLER_AXIS_LEFTY) low = 2, high = 3;
    if (low < 0) return;
    bool lowDown = axis.value < -STICK_THRESHOLD, highDown = axis.value > STICK_THRESHOLD;
    if (lowDown && !sdl.stickDown[low]) Tap(stickCodes[low]);
    if (highDown && !sdl.stickDown[high]) Tap(stickCodes[high]);
    sdl.stickDown[low] = lowDown;
    sdl.stickDown[high] = highDown;
}

void HandleEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT: QueueMessage(MSG_CLOSE, 0, 0); break;
        case SDL_APP_WILLENTERBACKGROUND:
        case SDL_APP_TERMINATING: CallSuspendHandler(); break;
        case SDL_MOUSEWHEEL: {
            int turn = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
            if (turn) Tap(turn > 0 ? KEYCODE_WHEEL_UP : KEYCODE_WHEEL_DOWN);
            break;
        }
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:  // the texture's page may be gone: upload the next one whatever it is
            ForgetShown();
            sdl.redraw = true;
            break;
        case SDL_WINDOWEVENT:
            switch (event.window.event) {
                case SDL_WINDOWEVENT_FOCUS_GAINED: SetActive(true); break;
                case SDL_WINDOWEVENT_FOCUS_LOST: SetActive(false); break;
                case SDL_WINDOWEVENT_EXPOSED:
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    if (sdl.active)
                        sdl.redraw = true;  // at the next frame, even if the page stays the same
                    else
                        SdlRepaint();
                    break;
                default: break;
            }
            break;
        case SDL_KEYDOWN: {
            SDL_Scancode scancode = event.key.keysym.scancode;
            bool alt = event.key.keysym.mod & KMOD_ALT;
            if (!event.key.repeat) {
                for (const KeyCode& key : keyCodes)
                    if (key.scancode == scancode) Tap(key.code);
            }
            if (event.key.repeat) break;
            if (scancode == SDL_SCANCODE_ESCAPE) {
                QueueMessage(MSG_KEYDOWN, VKEY_ESCAPE, 0);
            } else if (scancode == SDL_SCANCODE_F11 ||
                       (alt && (scancode == SDL_SCANCODE_RETURN || scancode == SDL_SCANCODE_KP_ENTER))) {
                SdlToggleFullscreen();
            } else if (scancode == SDL_SCANCODE_F12) {
                SdlScreenshot();
            }
            break;
        }
        case SDL_CONTROLLERDEVICEADDED:
            if (SDL_GameController* pad = SDL_GameControllerOpen(event.cdevice.which)) {
                sdl.pads.push_back(pad);
                if (sdl.options.verbose) std::fprintf(stderr, "kirake: game controller \"%s\" connected\n",
                                                      SDL_GameControllerName(pad));
            }
            break;
        case SDL_CONTROLLERDEVICEREMOVED:
            for (size_t i = 0; i < sdl.pads.size(); ++i) {
                SDL_Joystick* stick = SDL_GameControllerGetJoystick(sdl.pads[i]);
                if (stick && SDL_JoystickInstanceID(stick) == event.cdevice.which) {
                    SDL_GameControllerClose(sdl.pads[i]);
                    sdl.pads.erase(sdl.pads.begin() + long(i));
                    break;
                }
            }
            std::memset(sdl.stickDown, 0, sizeof sdl.stickDown);
            break;
        case SDL_CONTROLLERBUTTONDOWN:
            for (const PadButton& button : padButtons)
                if (button.button == event.cbutton.button) Tap(button.code);
            break;
        case SDL_CONTROLLERAXISMOTION: HandleStick(event.caxis); break;
        default: break;
    }
}

}  // namespace

void SdlPumpEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) HandleEvent(event);
}

void SdlWaitEvents() {
    SDL_Event event;
    if (SDL_WaitEvent(&event)) HandleEvent(event);
}

// The keys down now, and those pressed and let go since the last read: a tap between two reads still
// counts as down for this one.
void SdlReadKeys(uint8_t state[256]) {
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    for (int i = 0; i < 256; ++i) state[i] = sdl.tapped[i] ? 0x80 : 0;
    for (const KeyCode& key : keyCodes)
        if (keys[key.scancode]) state[key.code] = 0x80;
    for (SDL_GameController* pad : sdl.pads) {
        for (const PadButton& button : padButtons)
            if (SDL_GameControllerGetButton(pad, button.button)) state[button.code] = 0x80;
    }
    for (int i = 0; i < 4; ++i)
        if (sdl.stickDown[i]) state[stickCodes[i]] = 0x80;
    std::memset(sdl.tapped, 0, sizeof sdl.tapped);
}
