// The null backend: no window, no sound, no keys, the real clock. A run through it plays the story as
// the desktop would, a frame each 1/60 s, with nothing seen or heard: for machines without a display
// that still want real time (a soak on a server, a profile of the frame loop), and the smallest example
// of a backend. Its text comes from the build's main backend; its frames end with --frames N.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/window.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr auto FRAME = std::chrono::microseconds(1000000 / 60);

struct NullRecord {
    PlatformOptions options;
    Clock::time_point start, nextFrame;
};
NullRecord run;

int Start(const PlatformOptions& options, std::string*) {
    run = NullRecord{};
    run.options = options;
    run.start = run.nextFrame = Clock::now();
    return 1;
}

void Stop() {}
int OpenWindow(const char*, const char*) { return 1; }
void CloseWindow() {}
void HideCursor() {}
void ShowMessageBox(const char* text, const char* caption) { std::fprintf(stderr, "%s: %s\n", caption, text); }
void PumpEvents() {}
void WaitEvents() { std::this_thread::sleep_for(FRAME); }
void ReadKeys(uint8_t state[256]) {
    for (int key = 0; key < 256; ++key) state[key] = 0;
}

// Each frame waits for the next 1/60 s of the real clock; a frame that comes late lets the missed ones
// go, as a display's refresh would, instead of running them back to back.
void Present(const uint8_t*, int, const PaletteEntry*) {
    Clock::time_point now = Clock::now();
    if (now < run.nextFrame) std::this_thread::sleep_until(run.nextFrame);
    else run.nextFrame = now;
    run.nextFrame += FRAME;
}

void FrameShown(long framesShown) {
    if (run.options.frames >= 0 && framesShown == run.options.frames) QueueMessage(MSG_CLOSE, 0, 0);
}

uint32_t TickCount() {
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - run.start).count());
}
int64_t CalendarTime() { return int64_t(std::time(nullptr)); }

int SoundStart(const PlatformOptions&, std::string*) { return 1; }
void SoundStop() {}
int SoundOpenDevice() { return 0; }  // no device: the game plays on silent, as on a machine without one
void SoundFrame(long) {}
void SoundSwitch(int) {}

const SoundOutput nullSound = {
    .start = SoundStart,
    .stop = SoundStop,
    .openDevice = SoundOpenDevice,
    .frameShown = SoundFrame,
    .frameSkipped = SoundFrame,
    .pause = SoundSwitch,
    .hold = SoundSwitch,
};
}  // namespace

extern const Backend nullBackend;  // in the build's list (cmake/KirakeBackends.cmake)
const Backend nullBackend = {
    .name = "null",
    .headless = false,
    .start = Start,
    .stop = Stop,
    .openWindow = OpenWindow,
    .closeWindow = CloseWindow,
    .hideCursor = HideCursor,
    .messageBox = ShowMessageBox,
    .pumpEvents = PumpEvents,
    .waitEvents = WaitEvents,
    .readKeys = ReadKeys,
    .present = Present,
    .frameShown = FrameShown,
    .tickCount = TickCount,
    .calendarTime = CalendarTime,
    .sound = &nullSound,
    .text = nullptr,  // the main backend's
    .watch = nullptr,
    .language = nullptr,
    .writePng = nullptr,  // the main backend's
    .arguments = nullptr,
    .hasRoot = nullptr,
    .programPath = nullptr,
    .speech = nullptr,
    .kept = nullptr,
    .busy = nullptr,
};
