// Choosing the backend, and the services every backend shares: the clock and the frame boundary.
#include "platform/backend.h"
#include "platform/clock.h"

namespace {
struct PlatformRecord {
    const Backend* backend = &headlessBackend;
    PlatformOptions options;
    long framesShown = 0;
    bool started = false;
};
PlatformRecord platform;
}  // namespace

const Backend* CurrentBackend() { return platform.backend; }
const PlatformOptions& CurrentOptions() { return platform.options; }
long PlatformFrameNumber() { return platform.framesShown; }

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
#else
    platform.backend = options.headless ? &headlessBackend : &sdlBackend;
#endif
    if (!platform.backend->start(options, error)) return 0;
    if (!SoundBackendStart(options, error)) {
        platform.backend->stop();
        return 0;
    }
    platform.started = true;
    return 1;
}

void PlatformStop() {
    if (!platform.started) return;
    SoundBackendStop();
    platform.backend->stop();
    platform.started = false;
}

uint32_t GetTickCount() { return platform.backend->tickCount(); }
int64_t GetCalendarTime() { return platform.backend->calendarTime(); }

void FrameShown() {
    ++platform.framesShown;
    platform.backend->frameShown(platform.framesShown);
    SoundBackendFrameShown(platform.framesShown);
}
