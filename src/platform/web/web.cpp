// The browser backend (built with emscripten): the page drawn on the page's canvas through the palette,
// the keyboard with the desktop's key map, 60 frames a second on the browser's animation frames, message
// boxes as a dialog in the page, the browser's language as the system's. The page's script (web/page.js)
// does the browser's side; the waits (next frame, next event, a message box answered) suspend the
// program until the page resumes it.
//
// With --headless the headless backend runs (virtual clock, key script, trace) and the page is drawn
// as well, so a test can read the canvas; the program gives the browser a turn now and then.
#include <emscripten.h>

#include <cstdio>
#include <cstring>
#include <string>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/headless/headless.h"
#include "platform/pointing.h"
#include "platform/window.h"

// The page's side. Events: 0 none, 1 Esc pressed, 2 activated, 3 deactivated, 4 closed, 5 hidden or left.
EM_JS(void, kirake_start, (int headless), { Module.kirake.start(headless); });
EM_JS(void, kirake_bind_key, (const char* code, int key), { Module.kirake.bindKey(UTF8ToString(code), key); });
EM_JS(void, kirake_hide_cursor, (), { Module.kirake.hideCursor(); });
EM_JS(void, kirake_window_title, (const char* caption), { Module.kirake.windowTitle(UTF8ToString(caption)); });
EM_JS(void, kirake_shown, (int count, int index, int top, int lineHeight, int over, int overlay),
      { Module.kirake.shown(count, index, top, lineHeight, over, overlay); });
// Speech: the page's live region always, the browser's voice when voiced (kind: speech.h's SpeechKind,
// so that the page knows a question's answers); 1 when it has a voice.
EM_JS(void, kirake_say, (const char* text, int kind, int voiced), { Module.kirake.say(UTF8ToString(text), kind, voiced); });
EM_JS(int, kirake_can_speak, (), { return Module.kirake.canSpeak() ? 1 : 0; });
// Kept files in the browser's storage under "kirake/settings/NAME" and "kirake/state/NAME", as base64 (any
// byte kept). Reading: the length, -1 none, -2 larger than maxBytes, -3 no storage; the bytes are then
// copied by kirake_kept_take. Writing and setting aside: 1, or 0 (the reason kept for kirake_kept_why).
EM_JS(int, kirake_kept_read, (const char* key, int maxBytes), { return Module.kirake.keptRead(UTF8ToString(key), maxBytes); });
EM_JS(void, kirake_kept_take, (uint8_t* out), { Module.HEAPU8.set(Module.kirake.keptBytes, out); });
EM_JS(int, kirake_kept_write, (const char* key, const uint8_t* bytes, int length),
      { return Module.kirake.keptWrite(UTF8ToString(key), Module.HEAPU8.subarray(bytes, bytes + length)) ? 1 : 0; });
EM_JS(int, kirake_kept_aside, (const char* key), { return Module.kirake.keptAside(UTF8ToString(key)) ? 1 : 0; });
EM_JS(void, kirake_kept_why, (char* out, int size), { stringToUTF8(Module.kirake.keptWhy || "", out, size); });
// A test's calendar: ?epoch=S in the address (negative: none, the real time).
EM_JS(double, kirake_fixed_epoch, (), { return Module.kirake.fixedEpoch; });
// A frame presented: the rows top to bottom - 1 of the canvas's copy (640 bytes a row) drawn through the
// palette (null: black); none when top == bottom.
EM_JS(void, kirake_present, (const uint8_t* pixels, const PaletteEntry* palette, int top, int bottom),
      { Module.kirake.present(pixels, palette, top, bottom); });
EM_JS(int, kirake_frame_due, (long frame), {
    Module.kirake.presenting = frame;
    return Module.kirake.frameDue(performance.now()) ? 1 : 0;
});
// The wait for the next frame sleeps through Asyncify's own callback rather than a promise of ours (no
// garbage a frame); the name's prefix is the one that marks an import that may sleep, as EM_ASYNC_JS does.
_EM_JS(void, kirake_wait_frame, __asyncjs__kirake_wait_frame, (),
       "{ return Asyncify.handleSleep(Module.kirake.waitFrame); }");
EM_JS(int, kirake_next_event, (), { return Module.kirake.nextEvent(); });
EM_ASYNC_JS(void, kirake_wait_event, (), { await Module.kirake.waitEvent(); });
EM_JS(void, kirake_key_state, (uint8_t* state), { Module.kirake.keyState(state); });
EM_JS(double, kirake_now, (), { return performance.now(); });
EM_ASYNC_JS(void, kirake_message_box, (const char* text, const char* caption),
            { await Module.kirake.messageBox(UTF8ToString(text), UTF8ToString(caption)); });
EM_JS(void, kirake_stop, (), { Module.kirake.stopped(); });
// Headless: 0 the page is not drawn for this frame, 1 drawn where it changed, 2 drawn whole (the benchmark).
EM_JS(int, kirake_wants_frame, (long frame), { return Module.kirake.wantsFrame(frame); });
EM_JS(int, kirake_headless_frame_shown, (long frame), { return Module.kirake.headlessFrameShown(frame) ? 1 : 0; });
EM_ASYNC_JS(void, kirake_yield, (), { await new Promise(function(resolve) { setTimeout(resolve, 0); }); });
// The page's last turn (performance.now()): a frame waited for, or a turn given while the program loads.
EM_JS(double, kirake_last_turn, (), { return Module.kirake.lastTurnMs || 0; });
EM_ASYNC_JS(void, kirake_take_turn, (), { await Module.kirake.takeTurn(); });
// The browser's language (its first of navigator.languages), at most size - 1 bytes.
EM_JS(void, kirake_language, (char* out, int size), { stringToUTF8(Module.kirake.language(), out, size); });

namespace {

struct WebRecord {
    PlatformOptions options;
    double startMs;
    ShownState shown;  // what the page was last told is on the screen
    long flips;           // pages presented in the frame under way
    long extraRefreshes;  // refreshes taken by the flips beyond each frame's first
};
WebRecord web;

// The page and palette the canvas shows, so that a frame that changes neither (a page of text waiting for
// a key) is neither converted nor drawn again, and one that does is converted only from its first changed
// row to its last.
constexpr int PAGE_WIDTH = 640, PAGE_HEIGHT = 480;
struct CanvasRecord {
    uint8_t page[PAGE_WIDTH * PAGE_HEIGHT];
    PaletteEntry palette[256];
    int hasPalette;  // 0: the page was drawn black (no palette)
    int drawn;       // 0: nothing drawn yet
};
CanvasRecord canvas;
// The refreshes the page's sound is rendered by: the page's own count in play, the virtual clock's headless.
long (*soundRefreshes)(long framesRun);

constexpr struct {
    const char* code;  // the browser's KeyboardEvent.code
    int key;
} keyMap[] = {
    {"ArrowLeft", KEYCODE_LEFT}, {"ArrowRight", KEYCODE_RIGHT}, {"ArrowUp", KEYCODE_UP},   {"ArrowDown", KEYCODE_DOWN},
    {"KeyZ", KEYCODE_Z},         {"KeyX", KEYCODE_X},           {"KeyC", KEYCODE_C},       {"KeyV", KEYCODE_V},
    {"Space", KEYCODE_SPACE},    {"F1", KEYCODE_F1},            {"F2", KEYCODE_F2},        {"Enter", KEYCODE_RETURN},
    {"NumpadEnter", KEYCODE_RETURN}, {"KeyA", KEYCODE_A},       {"Escape", KEYCODE_ESCAPE},
    // The player's own keys; the page's wheel, its swipes over an overlay and a tap outside one arrive
    // under names of its own that no keyboard gives.
    {"PageUp", KEYCODE_PRIOR},   {"PageDown", KEYCODE_NEXT},    {"ControlLeft", KEYCODE_CONTROL},
    {"ControlRight", KEYCODE_RCONTROL}, {"ShiftLeft", KEYCODE_SHIFT}, {"ShiftRight", KEYCODE_SHIFT},
    {"KeyS", KEYCODE_S},         {"F10", KEYCODE_F10},          {"WheelUp", KEYCODE_WHEEL_UP},
    {"WheelDown", KEYCODE_WHEEL_DOWN}, {"TapOutside", KEYCODE_TAP_OUTSIDE},
};

long PageRefreshes(long framesRun);

// Rows compared eight bytes at a time (the wasm loads need no alignment).
int SameRow(const uint8_t* a, const uint8_t* b) {
    for (int x = 0; x < PAGE_WIDTH; x += 8) {
        uint64_t u, v;
        std::memcpy(&u, a + x, 8);
        std::memcpy(&v, b + x, 8);
        if (u != v) return 0;
    }
    return 1;
}

// Hands the frame to the canvas: the rows that differ from what it shows (all of them when the palette
// changed, at the first frame, or when `whole`), and takes them into the canvas's copy.
void DrawPage(const uint8_t* pixels, int pitch, const PaletteEntry* palette, int whole) {
    int hasPalette = palette != nullptr;
    if (!canvas.drawn || hasPalette != canvas.hasPalette ||
        (hasPalette && std::memcmp(palette, canvas.palette, sizeof canvas.palette) != 0))
        whole = 1;
    int top = 0, bottom = PAGE_HEIGHT;
    if (!whole) {
        while (top < bottom && SameRow(pixels + top * pitch, canvas.page + top * PAGE_WIDTH)) ++top;
        while (bottom > top && SameRow(pixels + (bottom - 1) * pitch, canvas.page + (bottom - 1) * PAGE_WIDTH)) --bottom;
    }
    for (int y = top; y < bottom; ++y) std::memcpy(canvas.page + y * PAGE_WIDTH, pixels + y * pitch, PAGE_WIDTH);
    if (whole) {
        canvas.hasPalette = hasPalette;
        if (hasPalette) std::memcpy(canvas.palette, palette, sizeof canvas.palette);
        canvas.drawn = 1;
    }
    kirake_present(canvas.page, hasPalette ? canvas.palette : nullptr, top, bottom);
}

void BusyWeb();

int Start(const PlatformOptions& options, std::string*) {
    web = WebRecord{};
    canvas.drawn = 0;
    soundRefreshes = PageRefreshes;
    web.options = options;
    web.startMs = kirake_now();
    kirake_start(0);
    for (const auto& entry : keyMap) kirake_bind_key(entry.code, entry.key);
    BusyWeb();  // the program's start is long: the page has turns between its parts
    return 1;
}

void Stop() { kirake_stop(); }
int OpenWindow(const char* caption, const char*) {
    kirake_window_title(caption);
    BusyWeb();
    return 1;
}
void CloseWindow() {}
void HideCursor() { kirake_hide_cursor(); }

void PumpEvents() {
    for (int event; (event = kirake_next_event()) != 0;) {
        switch (event) {
            case 1: QueueMessage(MSG_KEYDOWN, VKEY_ESCAPE, 0); break;
            case 2: QueueMessage(MSG_ACTIVATEAPP, 1, 0); break;
            case 3:
                QueueMessage(MSG_ACTIVATEAPP, 0, 0);
                KeyboardFocusLost();
                break;
            case 4: QueueMessage(MSG_CLOSE, 0, 0); break;
            case 5: CallSuspendHandler(); break;  // the page is hidden or left: keep the game now
        }
    }
}

void WaitEvents() {
    kirake_wait_event();
    PumpEvents();
}

// Draws the page, then waits until the next game frame is due by the page's clock. What is shown (the
// choice lines, the last page) goes to the page with the frame that shows it: a tap is read against what
// is on the screen.
void Present(const uint8_t* pixels, int pitch, const PaletteEntry* palette) {
    ShownState now = CurrentShownState();
    const ShownState& told = web.shown;
    if (now.choiceCount != told.choiceCount || now.choiceIndex != told.choiceIndex ||
        now.choiceTop != told.choiceTop || now.choiceLineHeight != told.choiceLineHeight ||
        now.storyOver != told.storyOver || now.overlay != told.overlay) {
        web.shown = now;
        kirake_shown(now.choiceCount, now.choiceIndex, now.choiceTop, now.choiceLineHeight, now.storyOver, now.overlay);
    }
    ++web.flips;  // each waits for a frame of the page's clock
    DrawPage(pixels, pitch, palette, 0);
    if (!kirake_frame_due(PlatformFrameNumber()))
        kirake_wait_frame();
    else if (kirake_now() - kirake_last_turn() > 40)  // catching up: the page's other work goes on between
        kirake_take_turn();
}

void FrameShownWeb(long framesShown) {
    if (web.flips > 1) web.extraRefreshes += web.flips - 1;
    web.flips = 0;
    if (web.options.frames >= 0 && framesShown == web.options.frames) QueueMessage(MSG_CLOSE, 0, 0);
}

uint32_t TickCount() { return uint32_t(uint64_t(kirake_now() - web.startMs)); }
// The display refreshes that framesRun frames took in the page: one each, and one for every flip of a frame
// beyond its first (as HeadlessRefreshes counts them).
long PageRefreshes(long framesRun) { return framesRun + web.extraRefreshes; }

// With a fixed epoch (a test comparing the page with the headless program) the calendar runs on the
// refreshes, as the headless backend's does.
int64_t CalendarTime() {
    double epoch = kirake_fixed_epoch();
    if (epoch >= 0) return int64_t(epoch) + PageRefreshes(PlatformFrameNumber()) / 60;
    return int64_t(EM_ASM_DOUBLE({ return Date.now() / 1000; }));
}

void MessageBoxWeb(const char* text, const char* caption) {
    std::fprintf(stderr, "MessageBox: %s: %s\n", caption, text);
    kirake_message_box(text, caption);
}

void ReadKeys(uint8_t state[256]) { kirake_key_state(state); }

// Loading (the data at the start, a scene's pictures and song): the page gets a turn at each file opened
// once 20 ms have passed since its last, so that no task of the page's thread runs long (input, drawing
// and the progress go on while the story loads; a slow phone takes four times as long). Each turn may let
// the browser render a frame of its own: more of them would delay the game's first frame.
void BusyWeb() {
    if (kirake_now() - kirake_last_turn() > 20) kirake_take_turn();
}

std::string BrowserLanguage() {
    char language[64] = "";
    kirake_language(language, sizeof language);
    return language;
}

// Headless in the page: the headless backend, with the page drawn when the page asks for the frame.
double lastYieldMs;

int StartHeadlessWeb(const PlatformOptions& options, std::string* error) {
    if (!HeadlessStart(options, error)) return 0;
    canvas.drawn = 0;
    soundRefreshes = HeadlessRefreshes;
    kirake_start(1);
    lastYieldMs = kirake_now();
    return 1;
}

void StopHeadlessWeb() {
    HeadlessStop();
    kirake_stop();
}

void PresentHeadlessWeb(const uint8_t* pixels, int pitch, const PaletteEntry* palette) {
    HeadlessPresent(pixels, pitch, palette);  // the flip takes its refresh of the virtual clock
    int wanted = kirake_wants_frame(PlatformFrameNumber());
    if (wanted) DrawPage(pixels, pitch, palette, wanted == 2);
}

void FrameShownHeadlessWeb(long framesShown) {
    HeadlessFrameShown(framesShown);
    kirake_headless_frame_shown(framesShown - 1);
    if (kirake_now() - lastYieldMs > 50) {  // let the page breathe
        kirake_yield();
        lastYieldMs = kirake_now();
    }
}

// The page's sound, rendered by display refreshes so that a frame that flips more than once hands over
// the samples of each refresh it took: in play by the page's count, headless by the virtual clock's (as
// the headless backend's frame clock renders it).
long Refreshes(long framesRun) { return soundRefreshes ? soundRefreshes(framesRun) : framesRun; }
int StartPageSound(const PlatformOptions& options, std::string* error) {
    BusyWeb();
    return webSound.start(options, error);
}
void StopPageSound() { webSound.stop(); }
int OpenPageSound() {
    BusyWeb();
    return webSound.openDevice();
}
void PageSoundShown(long framesShown) { webSound.frameShown(Refreshes(framesShown)); }
void PageSoundSkipped(long framesRun) { webSound.frameSkipped(Refreshes(framesRun)); }
void PausePageSound(int paused) { webSound.pause(paused); }
void HoldPageSound(int hold) { webSound.hold(hold); }

const SoundOutput pageSound = {
    .start = StartPageSound,
    .stop = StopPageSound,
    .openDevice = OpenPageSound,
    .frameShown = PageSoundShown,
    .frameSkipped = PageSoundSkipped,
    .pause = PausePageSound,
    .hold = HoldPageSound,
};

// PNG files are not written in the page: captures are read from the canvas there.
int NoPng(const char* path, const uint8_t*, int, int) {
    std::fprintf(stderr, "headless: %s not written: the web build reads captures from the canvas\n", path);
    return 0;
}

void SayWeb(const char* text, int kind, int voiced) { kirake_say(text, kind, voiced); }
int SpeechAvailableWeb(std::string* why) {
    if (kirake_can_speak()) return 1;
    if (why) *why = "this browser has no speech synthesis (the page's live region still has the text)";
    return 0;
}
void StopSpeechWeb() {}
const SpeechOutput pageSpeech = {.say = SayWeb, .available = SpeechAvailableWeb, .stop = StopSpeechWeb};

std::string KeptKey(KeptKind kind, const char* name) {
    return std::string(kind == KEPT_SETTINGS ? "kirake/settings/" : "kirake/state/") + name;
}
std::string KeptWhy() {
    char why[256] = "";
    kirake_kept_why(why, sizeof why);
    return why;
}
int ReadKeptWeb(KeptKind kind, const char* name, size_t maxBytes, std::string* bytes, std::string* why) {
    std::string key = KeptKey(kind, name);
    int limit = maxBytes > 0x7FFFFFFF ? 0x7FFFFFFF : int(maxBytes);
    int length = kirake_kept_read(key.c_str(), limit);
    if (length == -1) return 0;
    if (length < 0) {
        *why = "the browser's storage, " + key + ": " + (length == -2 ? std::string("larger than ") + std::to_string(maxBytes) + " bytes" : KeptWhy());
        return 0;
    }
    bytes->assign(size_t(length), '\0');
    if (length) kirake_kept_take(reinterpret_cast<uint8_t*>(bytes->data()));
    return 1;
}
int WriteKeptWeb(KeptKind kind, const char* name, const std::string& bytes, std::string* why) {
    std::string key = KeptKey(kind, name);
    if (kirake_kept_write(key.c_str(), reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size()))) return 1;
    *why = "the browser's storage, " + key + ": " + KeptWhy();
    return 0;
}
int SetKeptAsideWeb(KeptKind kind, const char* name) { return kirake_kept_aside(KeptKey(kind, name).c_str()); }
std::string KeptPlaceWeb(KeptKind kind, const char* name) { return "the browser's storage, " + KeptKey(kind, name); }
const KeptStore pageKept = {.read = ReadKeptWeb, .write = WriteKeptWeb, .setAside = SetKeptAsideWeb, .place = KeptPlaceWeb};

void MessageBoxHeadlessWeb(const char* text, const char* caption) {
    std::fprintf(stderr, "MessageBox: %s: %s\n", caption, text);
}

}  // namespace

extern const Backend webBackend;  // in the build's list (cmake/KirakeBackends.cmake)
const Backend webBackend = {
    .name = "web",
    .headless = false,
    .start = Start,
    .stop = Stop,
    .openWindow = OpenWindow,
    .closeWindow = CloseWindow,
    .hideCursor = HideCursor,
    .messageBox = MessageBoxWeb,
    .pumpEvents = PumpEvents,
    .waitEvents = WaitEvents,
    .readKeys = ReadKeys,
    .present = Present,
    .frameShown = FrameShownWeb,
    .tickCount = TickCount,
    .calendarTime = CalendarTime,
    .sound = &pageSound,
    .text = &glyphFileText,
    .watch = nullptr,
    .language = BrowserLanguage,
    .writePng = NoPng,
    .arguments = nullptr,
    .hasRoot = nullptr,
    .programPath = nullptr,
    .speech = &pageSpeech,
    .kept = &pageKept,
    .busy = BusyWeb,
};

// Headless in the page: the headless backend's parts, with the page drawn when it asks for the frame.
extern const Backend webHeadlessBackend;  // in the build's list (cmake/KirakeBackends.cmake)
const Backend webHeadlessBackend = {
    .name = "web-headless",
    .headless = true,
    .start = StartHeadlessWeb,
    .stop = StopHeadlessWeb,
    .openWindow = HeadlessOpenWindow,
    .closeWindow = HeadlessCloseWindow,
    .hideCursor = HeadlessHideCursor,
    .messageBox = MessageBoxHeadlessWeb,
    .pumpEvents = HeadlessPumpEvents,
    .waitEvents = HeadlessWaitEvents,
    .readKeys = HeadlessReadKeys,
    .present = PresentHeadlessWeb,
    .frameShown = FrameShownHeadlessWeb,
    .tickCount = HeadlessTickCount,
    .calendarTime = HeadlessCalendarTime,
    .sound = &pageSound,
    .text = nullptr,   // the main backend's
    .watch = nullptr,
    .language = nullptr,
    .writePng = NoPng,
    .arguments = nullptr,
    .hasRoot = nullptr,
    .programPath = nullptr,
    .speech = nullptr,  // said nowhere: the trace has the lines
    .kept = nullptr,    // the main backend's: the browser's storage
    .busy = nullptr,    // the page's turns come every 50 ms of frames (FrameShownHeadlessWeb)
};

