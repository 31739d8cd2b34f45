// Choosing the backend, and the services every backend shares: the clock, the frame boundary and the
// sound output's calls.
#include <cstdio>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/clock.h"
#include "platform/sound.h"
#include "platform/core/sound_mixer.h"

namespace {
struct PlatformRecord {
    const Backend* backend = nullptr;  // null before PlatformStart: the build's headless one
    PlatformOptions options;
    long framesShown = 0;
    bool started = false;
    bool unshown = false;     // between BeginUnshownFrames and EndUnshownFrames
    long unshownFrames = 0;   // frames run without being shown
    long unshownFlips = 0;    // pages flipped in the unshown frame under way
    long unshownExtra = 0;    // refreshes of the unshown frames' flips beyond their first
    uint32_t unshownBase = 0; // the clock when the unshown frames began
    uint32_t tickOffset = 0;  // added to the backend's clock once unshown frames have run
    bool writeFailed = false;
};
PlatformRecord platform;
// The output SoundBackendStart started; before (unit tests, the song player) and after, the headless
// backend's: a mixer that sounds only when someone renders it.
const SoundOutput* soundOutput;
const SoundOutput* Sound() { return soundOutput ? soundOutput : BackendFor(true)->sound; }
}  // namespace

const Backend* BackendFor(bool headless) {
    for (const Backend* const* backend = buildBackends; *backend; ++backend)
        if ((*backend)->headless == headless) return *backend;
    return nullptr;
}

// The run's backend: the one --backend names (of the kind the run asks for), else the build's first of
// that kind. Null with *error when there is none.
const Backend* ChosenBackend(const PlatformOptions& options, std::string* error) {
    std::string names;
    for (const Backend* const* backend = buildBackends; *backend; ++backend) {
        if (options.backend.empty() || options.backend != (*backend)->name) {
            names += std::string(names.empty() ? "" : ", ") + (*backend)->name;
            continue;
        }
        if ((*backend)->headless == options.headless) return *backend;
        *error = "the backend " + options.backend + (options.headless ? " does not serve --headless runs" : " serves --headless runs only");
        return nullptr;
    }
    if (!options.backend.empty()) {
        *error = "this build has no backend " + options.backend + " (it has " + names + ")";
        return nullptr;
    }
    const Backend* backend = BackendFor(options.headless);
    if (!backend)
        *error = options.headless ? "this build has no headless backend (it has " + names + ")"
                                  : "this build has no display backend (it has " + names + "): run it with --headless";
    return backend;
}

const Backend* CurrentBackend() { return platform.backend ? platform.backend : BackendFor(true); }

const TextSource* CurrentTextSource() {
    const Backend* backend = CurrentBackend();
    return backend->text ? backend->text : buildBackends[0]->text;
}

const FileWatch* CurrentFileWatch() {
    const Backend* backend = CurrentBackend();
    return backend->headless ? buildBackends[0]->watch : backend->watch;
}

int WritePng(const char* path, const uint8_t* rgb, int width, int height) {
    const Backend* backend = CurrentBackend();
    auto write = backend && backend->writePng ? backend->writePng : buildBackends[0]->writePng;
    if (!write) {
        std::fprintf(stderr, "kirake: %s not written: this build writes no PNG files\n", path);
        return 0;
    }
    return write(path, rgb, width, height);
}

const PlatformOptions& CurrentOptions() { return platform.options; }

std::string SystemLanguage() {
    const Backend* backend = CurrentBackend();
    return backend->language ? backend->language() : std::string();
}
long PlatformFrameNumber() { return platform.framesShown; }
long UnshownFrameCount() { return platform.unshownFrames + platform.unshownExtra; }
void NoteUnshownFlip() {
    if (platform.unshown) ++platform.unshownFlips;
}

int PlatformStart(const PlatformOptions& options, std::string* error) {
    platform = PlatformRecord{};
    platform.options = options;
    ClearFaults();
    for (const std::string& fault : options.faults) {
        if (!AddFault(fault)) {
            *error = "unknown fault \"" + fault + "\"";
            return 0;
        }
    }
    platform.backend = ChosenBackend(options, error);
    if (!platform.backend) {
        platform = PlatformRecord{};
        return 0;
    }
    KeyboardReset();
    SpeechReset();
    if (!CurrentBackend()->start(options, error)) return 0;
    if (!SoundBackendStart(options, error)) {
        CurrentBackend()->stop();
        return 0;
    }
    if (options.watch) StartWatching(options.verbose);
    platform.started = true;
    return 1;
}

void ShowStartFailure(const PlatformOptions& options, const char* text) {
    if (options.headless) return;
    std::string unused;
    const Backend* backend = ChosenBackend(options, &unused);
    if (backend && !backend->headless) backend->messageBox(text, "kirake");
}

int PlatformStop() {
    if (!platform.started) return platform.writeFailed ? 0 : 1;
    StopWatching();
    SpeechStop();
    SoundBackendStop();
    CurrentBackend()->stop();
    platform.started = false;
    return platform.writeFailed ? 0 : 1;
}

void NoteWriteFailure(const std::string& what) {
    std::fprintf(stderr, "kirake: %s\n", what.c_str());
    platform.writeFailed = true;
}

uint32_t ClockMilliseconds() {
    if (platform.unshown)
        return platform.unshownBase + uint32_t(uint64_t(UnshownFrameCount()) * 1000 / 60);
    return CurrentBackend()->tickCount() + platform.tickOffset;
}

void BeginUnshownFrames() {
    if (platform.unshown) return;
    platform.unshownBase = ClockMilliseconds();
    platform.unshownFrames = platform.unshownFlips = platform.unshownExtra = 0;
    platform.unshown = true;
    SetDisplayWaitsForFrames(0);
    SoundBackendHold(1);
}

void EndUnshownFrames() {
    if (!platform.unshown) return;
    uint32_t now = ClockMilliseconds();
    platform.unshown = false;
    SetDisplayWaitsForFrames(1);
    SoundBackendHold(0);
    platform.tickOffset = now - CurrentBackend()->tickCount();
}
void ContinueFrameNumbers(long framesShown) {
    if (platform.unshown || framesShown < 0) return;
    uint32_t now = ClockMilliseconds();
    platform.framesShown = framesShown;
    platform.unshownFrames = 0;  // the extra refreshes of their flips stay counted
    CurrentBackend()->frameShown(framesShown);
    platform.tickOffset = now - CurrentBackend()->tickCount();
}
int64_t GetCalendarTime() { return CurrentBackend()->calendarTime(); }

void FrameShown() {
    if (platform.unshown) {
        if (platform.unshownFlips > 1) platform.unshownExtra += platform.unshownFlips - 1;
        platform.unshownFlips = 0;
        ++platform.unshownFrames;
        SoundBackendFrameSkipped(platform.framesShown + UnshownFrameCount());
        return;
    }
    ++platform.framesShown;
    CurrentBackend()->frameShown(platform.framesShown);
    SoundBackendFrameShown(platform.framesShown + UnshownFrameCount());
}

int SoundBackendStart(const PlatformOptions& options, std::string* error) {
    std::string unused;
    const Backend* backend = ChosenBackend(options, &unused);
    soundOutput = backend ? backend->sound : nullptr;
    return Sound()->start(options, error);
}

void SoundBackendStop() {
    Sound()->stop();
    soundOutput = nullptr;
}

int SoundBackendOpen() { return Sound()->openDevice(); }

// The game's sound device, whichever backend gives it: already open, refused by a fault, or opened now.
int SoundDeviceOpen(Window) {
    if (MixerIsOpen()) return 1;
    if (FaultRefuses("no-sound")) return 0;
    return SoundBackendOpen();
}
void SoundBackendFrameShown(long framesRun) { Sound()->frameShown(framesRun); }
void SoundBackendFrameSkipped(long framesRun) { Sound()->frameSkipped(framesRun); }
void SoundBackendPause(int paused) { Sound()->pause(paused); }
void SoundBackendHold(int hold) { Sound()->hold(hold); }

namespace {
void (*suspendHandler)() = nullptr;  // the game's, kept across starts
}  // namespace

void SetSuspendHandler(void (*handler)()) { suspendHandler = handler; }

void CallSuspendHandler() {
    if (suspendHandler) suspendHandler();
}
