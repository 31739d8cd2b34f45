// The browser backend (built with emscripten): the page drawn on the page's canvas through the palette,
// the keyboard with the desktop's key map, 60 frames a second on the browser's animation frames, message
// boxes as a dialog in the page. The page's script (web/page.js) does the browser's side; the waits
// (next frame, next event, a message box answered) suspend the program until the page resumes it.
//
// With --headless the headless backend runs (virtual clock, key script, trace) and the page is drawn
// as well, so a test can read the canvas; the program gives the browser a turn now and then.
#ifdef __EMSCRIPTEN__
#include <emscripten.h>

#include <cstdio>
#include "platform/backend.h"
#include "platform/window.h"

// The page's side. Events: 0 none, 1 Esc pressed, 2 activated, 3 deactivated, 4 closed.
EM_JS(void, kirake_start, (int headless), { Module.kirake.start(headless); });
EM_JS(void, kirake_bind_key, (const char* code, int key), { Module.kirake.bindKey(UTF8ToString(code), key); });
EM_JS(void, kirake_hide_cursor, (), { Module.kirake.hideCursor(); });
EM_JS(void, kirake_present, (const uint8_t* pixels, int pitch, const PaletteEntry* palette),
      { Module.kirake.present(pixels, pitch, palette); });
EM_JS(int, kirake_frame_due, (long frame), {
    Module.kirake.presenting = frame;
    return Module.kirake.frameDue(performance.now()) ? 1 : 0;
});
EM_ASYNC_JS(void, kirake_wait_frame, (), { await Module.kirake.waitFrame(); });
EM_JS(int, kirake_next_event, (), { return Module.kirake.nextEvent(); });
EM_ASYNC_JS(void, kirake_wait_event, (), { await Module.kirake.waitEvent(); });
EM_JS(void, kirake_key_state, (uint8_t* state), { Module.kirake.keyState(state); });
EM_JS(double, kirake_now, (), { return performance.now(); });
EM_ASYNC_JS(void, kirake_message_box, (const char* text, const char* caption),
            { await Module.kirake.messageBox(UTF8ToString(text), UTF8ToString(caption)); });
EM_JS(void, kirake_stop, (), { Module.kirake.stopped(); });
EM_JS(int, kirake_wants_frame, (long frame), { return Module.kirake.wantsFrame(frame) ? 1 : 0; });
EM_JS(int, kirake_headless_frame_shown, (long frame), { return Module.kirake.headlessFrameShown(frame) ? 1 : 0; });
EM_ASYNC_JS(void, kirake_yield, (), { await new Promise(function(resolve) { setTimeout(resolve, 0); }); });

namespace {

struct WebRecord {
    PlatformOptions options;
    double startMs;
    bool inputLost;  // the keyboard was taken away since the last read
    bool acquired;
};
WebRecord web;

constexpr struct {
    const char* code;  // the browser's KeyboardEvent.code
    int key;
} keyMap[] = {
    {"ArrowLeft", DIK_LEFT}, {"ArrowRight", DIK_RIGHT}, {"ArrowUp", DIK_UP},   {"ArrowDown", DIK_DOWN},
    {"KeyZ", DIK_Z},         {"KeyX", DIK_X},           {"KeyC", DIK_C},       {"KeyV", DIK_V},
    {"Space", DIK_SPACE},    {"F1", DIK_F1},            {"F2", DIK_F2},        {"Enter", DIK_RETURN},
    {"NumpadEnter", DIK_RETURN}, {"KeyA", DIK_A},       {"Escape", DIK_ESCAPE},
};

int Start(const PlatformOptions& options, std::string*) {
    web = WebRecord{};
    web.options = options;
    web.startMs = kirake_now();
    kirake_start(0);
    for (const auto& entry : keyMap) kirake_bind_key(entry.code, entry.key);
    return 1;
}

void Stop() { kirake_stop(); }
int OpenWindow(const char*, const char*) { return 1; }
void CloseWindow() {}
void HideCursor() { kirake_hide_cursor(); }

void PumpEvents() {
    for (int event; (event = kirake_next_event()) != 0;) {
        switch (event) {
            case 1: QueueMessage(MSG_KEYDOWN, VKEY_ESCAPE, 0); break;
            case 2: QueueMessage(MSG_ACTIVATEAPP, 1, 0); break;
            case 3:
                QueueMessage(MSG_ACTIVATEAPP, 0, 0);
                web.inputLost = true;
                web.acquired = false;
                break;
            case 4: QueueMessage(MSG_CLOSE, 0, 0); break;
        }
    }
}

void WaitEvents() {
    kirake_wait_event();
    PumpEvents();
}

// Draws the page, then waits until the next game frame is due by the page's clock.
void Present(const uint8_t* pixels, int pitch, const PaletteEntry* palette) {
    kirake_present(pixels, pitch, palette);
    if (!kirake_frame_due(PlatformFrameNumber())) kirake_wait_frame();
}

void FrameShownWeb(long framesShown) {
    if (web.options.frames >= 0 && framesShown == web.options.frames) QueueMessage(MSG_CLOSE, 0, 0);
}

uint32_t TickCount() { return uint32_t(uint64_t(kirake_now() - web.startMs)); }
int64_t CalendarTime() { return int64_t(EM_ASM_DOUBLE({ return Date.now() / 1000; })); }

void MessageBoxWeb(const char* text, const char* caption) {
    std::fprintf(stderr, "MessageBox: %s: %s\n", caption, text);
    kirake_message_box(text, caption);
}

int KeyboardCreateWeb() { return FaultRefuses("no-keyboard") ? 0 : 1; }

KeyboardResult KeyboardGetStateWeb(uint8_t state[256]) {
    if (!web.acquired) {
        if (web.inputLost) {
            web.inputLost = false;
            return KEYBOARD_INPUT_LOST;
        }
        return KEYBOARD_NOT_ACQUIRED;
    }
    kirake_key_state(state);
    return KEYBOARD_OK;
}

int KeyboardAcquireWeb() {
    web.acquired = true;
    web.inputLost = false;
    return 1;
}

// Headless in the page: the headless backend, with the page drawn when the page asks for the frame.
double lastYieldMs;

int StartHeadlessWeb(const PlatformOptions& options, std::string* error) {
    if (!headlessBackend.start(options, error)) return 0;
    kirake_start(1);
    lastYieldMs = kirake_now();
    return 1;
}

void StopHeadlessWeb() {
    headlessBackend.stop();
    kirake_stop();
}

void PresentHeadlessWeb(const uint8_t* pixels, int pitch, const PaletteEntry* palette) {
    if (kirake_wants_frame(PlatformFrameNumber())) kirake_present(pixels, pitch, palette);
}

void FrameShownHeadlessWeb(long framesShown) {
    headlessBackend.frameShown(framesShown);
    kirake_headless_frame_shown(framesShown - 1);
    if (kirake_now() - lastYieldMs > 50) {  // let the page breathe
        kirake_yield();
        lastYieldMs = kirake_now();
    }
}

void MessageBoxHeadlessWeb(const char* text, const char* caption) {
    std::fprintf(stderr, "MessageBox: %s: %s\n", caption, text);
}

}  // namespace

const Backend webBackend = {
    Start,         Stop,        OpenWindow,   CloseWindow,    HideCursor,
    PumpEvents,    WaitEvents,  Present,      FrameShownWeb,  TickCount,
    CalendarTime,  MessageBoxWeb, KeyboardCreateWeb, KeyboardGetStateWeb, KeyboardAcquireWeb,
};

const Backend* WebBackendFor(const PlatformOptions& options) {
    if (!options.headless) return &webBackend;
    static Backend headlessWeb;
    headlessWeb = headlessBackend;
    headlessWeb.start = StartHeadlessWeb;
    headlessWeb.stop = StopHeadlessWeb;
    headlessWeb.present = PresentHeadlessWeb;
    headlessWeb.frameShown = FrameShownHeadlessWeb;
    headlessWeb.messageBox = MessageBoxHeadlessWeb;
    return &headlessWeb;
}

// PNG files are not written in the page: captures are read from the canvas there.
int WritePng(const char* path, const uint8_t*, int, int) {
    std::fprintf(stderr, "headless: %s not written: the web build reads captures from the canvas\n", path);
    return 0;
}
#endif
