// Choosing the backend, and the services every backend shares: the clock and the frame boundary.
#include "platform/backend.h"
#include "platform/clock.h"

namespace {
struct PlatformRecord {
    const Backend* backend = &headlessBackend;
    PlatformOptions options;
    long framesShown = 0;
    bool started = false;
    bool unshown = false;     // between BeginUnshownFrames and EndUnshownFrames
    long unshownFrames = 0;   // frames run without being shown
    uint32_t unshownBase = 0; // the clock when the unshown frames began
    uint32_t tickOffset = 0;  // added to the backend's clock once unshown frames have run
};
PlatformRecord platform;
}  // namespace

const Backend* CurrentBackend() { return platform.backend; }
const PlatformOptions& CurrentOptions() { return platform.options; }
long PlatformFrameNumber() { return platform.framesShown; }
long UnshownFrameCount() { return platform.unshownFrames; }

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
#ifdef __EMSCRIPTEN__
    platform.backend = WebBackendFor(options);
#elif defined(_WIN32)
    platform.backend = options.headless ? &headlessBackend : &win32Backend;
#else
    platform.backend = options.headless ? &headlessBackend : &sdlBackend;
#endif
    if (!platform.backend->start(options, error)) return 0;
    if (!SoundBackendStart(options, error)) {
        platform.backend->stop();
        return 0;
    }
    if (options.watch) StartWatching(options.verbose);
    platform.started = true;
    return 1;
}

void PlatformStop() {
    if (!platform.started) return;
    StopWatching();
    SoundBackendStop();
    platform.backend->stop();
    platform.started = false;
}

uint32_t GetTickCount() {
    if (platform.unshown)
        return platform.unshownBase + uint32_t(uint64_t(platform.unshownFrames) * 1000 / 60);
    return platform.backend->tickCount() + platform.tickOffset;
}

void BeginUnshownFrames() {
    if (platform.unshown) return;
    platform.unshownBase = GetTickCount();
    platform.unshownFrames = 0;
    platform.unshown = true;
    SetDisplayWaitsForFrames(0);
    SoundBackendHold(1);
}

void EndUnshownFrames() {
    if (!platform.unshown) return;
    uint32_t now = GetTickCount();
    platform.unshown = false;
    SetDisplayWaitsForFrames(1);
    SoundBackendHold(0);
    platform.tickOffset = now - platform.backend->tickCount();
}
int64_t GetCalendarTime() { return platform.backend->calendarTime(); }

void FrameShown() {
    if (platform.unshown) {
        ++platform.unshownFrames;
        SoundBackendFrameSkipped(platform.framesShown + platform.unshownFrames);
        return;
    }
    ++platform.framesShown;
    platform.backend->frameShown(platform.framesShown);
    SoundBackendFrameShown(platform.framesShown + platform.unshownFrames);
}
