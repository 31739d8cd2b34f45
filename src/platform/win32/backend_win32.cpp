// The Windows backend's table: the window, the display, the clock, the keyboard and pads, message
// boxes, screenshots, the sound device and folder watching, over the Win32 side in the other files of
// this folder (win32.h).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/glyphs.h"
#include "platform/win32/win32.h"

namespace {
constexpr int WIDTH = 640, HEIGHT = 480;

struct Win32Record {
    PlatformOptions options;
    uint32_t startMs;
    bool windowOpen;
    uint8_t down[256];    // keys held now, by key code
    uint8_t tapped[256];  // keys that went down since the last read
};
Win32Record win;

// Virtual keys of the game's keys and their key codes.
struct KeyCode {
    int virtualKey;
    int code;
};
const KeyCode keyCodes[] = {
    {0x25, KEYCODE_LEFT}, {0x27, KEYCODE_RIGHT}, {0x26, KEYCODE_UP}, {0x28, KEYCODE_DOWN},   // VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN
    {'Z', KEYCODE_Z},     {'X', KEYCODE_X},      {'C', KEYCODE_C},   {'V', KEYCODE_V},       // letters are their capitals
    {0x20, KEYCODE_SPACE}, {0x70, KEYCODE_F1},   {0x71, KEYCODE_F2}, {0x0D, KEYCODE_RETURN}, // VK_SPACE, VK_F1, VK_F2, VK_RETURN
    {'A', KEYCODE_A},     {0x1B, KEYCODE_ESCAPE},                                    // VK_ESCAPE
    // The player's own keys: VK_PRIOR, VK_NEXT, VK_CONTROL, VK_RCONTROL, VK_SHIFT, S, VK_F10.
    {0x21, KEYCODE_PRIOR}, {0x22, KEYCODE_NEXT}, {0x11, KEYCODE_CONTROL}, {0xA3, KEYCODE_RCONTROL},
    {0x10, KEYCODE_SHIFT}, {'S', KEYCODE_S},     {0x79, KEYCODE_F10},
};

// Pad buttons as keys, as on Linux: d-pad as the cursor keys, A as Space, B as F1, X and Y as Z and X,
// Start as Space.
struct PadKey {
    unsigned bit;
    int code;
};
const PadKey padKeys[] = {
    {PAD_LEFT, KEYCODE_LEFT}, {PAD_RIGHT, KEYCODE_RIGHT}, {PAD_UP, KEYCODE_UP}, {PAD_DOWN, KEYCODE_DOWN}, {PAD_A, KEYCODE_SPACE},
    {PAD_B, KEYCODE_F1},      {PAD_X, KEYCODE_Z},         {PAD_Y, KEYCODE_X},   {PAD_START, KEYCODE_SPACE},
};

void OnActivate(int active) {
    QueueMessage(MSG_ACTIVATEAPP, uintptr_t(active), 0);
    SoundBackendPause(active ? 0 : 1);
    if (!active) {
        KeyboardFocusLost();
        std::memset(win.down, 0, sizeof win.down);
        std::memset(win.tapped, 0, sizeof win.tapped);
    }
}

void OnClose() { QueueMessage(MSG_CLOSE, 0, 0); }
void OnWheel(int up) { win.tapped[up ? KEYCODE_WHEEL_UP : KEYCODE_WHEEL_DOWN] = 1; }  // down for one read
void OnEscape() { QueueMessage(MSG_KEYDOWN, VKEY_ESCAPE, 0); }

void OnKey(int virtualKey, int down) {
    for (const KeyCode& key : keyCodes) {
        if (key.virtualKey != virtualKey) continue;
        win.down[key.code] = down ? 1 : 0;
        if (down) win.tapped[key.code] = 1;
    }
}

// F12: the page on the screen as a 640x480 PNG in Pictures\kirake, the same bytes as a headless capture
// of this frame.
void OnScreenshot() {
    std::vector<uint8_t> rgb(size_t(WIDTH) * HEIGHT * 3);
    long frame = PlatformFrameNumber() - 1;
    if (frame < 0 || !CapturePage(rgb.data())) {
        std::fprintf(stderr, "kirake: no picture on the screen yet to save\n");
        return;
    }
    std::string folder = Win32ScreenshotFolder();
    if (folder.empty()) {
        std::fprintf(stderr, "kirake: cannot save the screenshot: no Pictures folder\n");
        return;
    }
    std::string stamp = Win32TimeStamp();
    std::string path = folder + "\\kirake_" + stamp + ".png";
    for (int n = 2; Win32FileExists(path) && n < 1000; ++n) path = folder + "\\kirake_" + stamp + "_" + std::to_string(n) + ".png";
    if (!WritePng(path.c_str(), rgb.data(), WIDTH, HEIGHT)) {
        std::fprintf(stderr, "kirake: cannot save the screenshot to %s\n", path.c_str());
        return;
    }
    std::fprintf(stderr, "kirake: screenshot of frame %ld saved to %s\n", frame, path.c_str());
}

int Start(const PlatformOptions& options, std::string* error) {
    win = Win32Record{};
    win.options = options;
    win.startMs = Win32Milliseconds();
    return 1;
}

void Stop() {
    if (win.options.stats) Win32PrintStats(PlatformFrameNumber());
    Win32CloseWindow();
    win.windowOpen = false;
}

int OpenWindow(const char* caption, const char* iconName) {
    Win32WindowOptions options;
    options.windowed = win.options.window;
    options.integerScale = win.options.integerScale;
    options.verbose = win.options.verbose;
    options.pacing = win.options.pacing;
    Win32Events events{OnActivate, OnClose, OnEscape, OnScreenshot, OnKey, OnWheel, CallSuspendHandler};
    std::string error;
    if (!Win32OpenWindow(caption, options, events, &error)) {
        ReportFailure(error.c_str());
        return 0;
    }
    win.windowOpen = true;
    return 1;
}

void CloseWindow() {
    Win32CloseWindow();
    win.windowOpen = false;
}

void Present(const uint8_t* pixels, int pitch, const PaletteEntry* palette) {
    uint8_t colours[256][3];
    for (int i = 0; i < 256; ++i) {
        colours[i][0] = palette ? palette[i].red : 0;
        colours[i][1] = palette ? palette[i].green : 0;
        colours[i][2] = palette ? palette[i].blue : 0;
    }
    Win32Present(pixels, pitch, colours);
}

void FrameShownWin32(long framesShown) {
    if (win.options.frames >= 0 && framesShown == win.options.frames) QueueMessage(MSG_CLOSE, 0, 0);
}

uint32_t TickCount() { return Win32Milliseconds() - win.startMs; }

// The system's own box; the English line naming the cause stands under the text.
void MessageBoxWin32(const char* text, const char* caption) {
    std::string body = text;
    const std::string& cause = PendingFailure();
    if (!cause.empty()) body += "\n\n(" + cause + ")";
    Win32MessageBox(body.c_str(), caption);
}

// The keys down now, and those pressed and let go since the last read: a tap between two reads still
// counts as down for this one. Pads count as keys.
void ReadKeys(uint8_t state[256]) {
    for (int i = 0; i < 256; ++i) state[i] = (win.down[i] || win.tapped[i]) ? 0x80 : 0;
    unsigned held = 0, pressed = 0;
    Win32ReadPads(&held, &pressed);
    for (const PadKey& key : padKeys)
        if ((held | pressed) & key.bit) state[key.code] = 0x80;
    std::memset(win.tapped, 0, sizeof win.tapped);
}
// Speech and kept files, by the Win32 side.
void SayWin32(const char* text, int, int voiced) {
    if (voiced) Win32Say(text);
}
void StopSpeechWin32() { Win32SpeechStop(); }
const SpeechOutput sapiSpeech = {.say = SayWin32, .available = Win32SpeechAvailable, .stop = StopSpeechWin32};

int ReadKeptWin32(KeptKind kind, const char* name, size_t maxBytes, std::string* bytes, std::string* why) {
    return Win32KeptRead(kind == KEPT_STATE, name, maxBytes, bytes, why);
}
int WriteKeptWin32(KeptKind kind, const char* name, const std::string& bytes, std::string* why) {
    return Win32KeptWrite(kind == KEPT_STATE, name, bytes, FaultRefuses("keep-write"), why);
}
int SetKeptAsideWin32(KeptKind kind, const char* name) { return Win32KeptAside(kind == KEPT_STATE, name); }
std::string KeptPlaceWin32(KeptKind kind, const char* name) { return Win32KeptPlace(kind == KEPT_STATE, name); }
const KeptStore win32Kept = {
    .read = ReadKeptWin32, .write = WriteKeptWin32, .setAside = SetKeptAsideWin32, .place = KeptPlaceWin32};

}  // namespace

extern const SoundOutput win32Sound;  // sound_device_win32.cpp
extern const FileWatch win32Watch;    // watch_win32.cpp
extern const Backend win32Backend;     // in the build's list (cmake/KirakeBackends.cmake)
const Backend win32Backend = {
    .name = "win32",
    .headless = false,
    .start = Start,
    .stop = Stop,
    .openWindow = OpenWindow,
    .closeWindow = CloseWindow,
    .hideCursor = Win32HideCursor,
    .messageBox = MessageBoxWin32,
    .pumpEvents = Win32PumpMessages,
    .waitEvents = Win32WaitMessages,
    .readKeys = ReadKeys,
    .present = Present,
    .frameShown = FrameShownWin32,
    .tickCount = TickCount,
    .calendarTime = Win32CalendarTime,
    .sound = &win32Sound,
    .text = &glyphFileText,
    .watch = &win32Watch,
    .language = Win32Language,
    .writePng = WritePngZlib,
    .arguments = Win32ProgramArguments,
    .hasRoot = Win32HasRoot,
    .programPath = Win32ProgramPath,
    .speech = &sapiSpeech,
    .kept = &win32Kept,
    .busy = nullptr,
};
