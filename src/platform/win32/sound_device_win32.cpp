// The Windows backend's sound output: the system's device (WASAPI or waveOut, sound_win32.cpp) pulling
// the mixer from its own thread.
#include <cstdio>
#include <string>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/sound.h"
#include "platform/core/sound_mixer.h"
#include "platform/win32/win32.h"

namespace {
struct SoundDevice {
    bool verbose;
    bool open;
};
SoundDevice device;

int Start(const PlatformOptions& options, std::string*) {
    device = SoundDevice{};
    device.verbose = options.verbose;
    return 1;
}

void Stop() {
    if (device.open) Win32AudioClose();
    device.open = false;
    MixerClose();
}

int OpenDevice() {
    int rate = 0;
    std::string reason, name;
    if (!Win32AudioOpen(DEVICE_RATE_ASKED, MixerRender, &rate, &reason, &name)) {
        std::fprintf(stderr, "kirake: playing without sound: %s\n", reason.c_str());
        return 0;
    }
    if (!MixerOpen(rate)) {
        Win32AudioClose();
        std::fprintf(stderr, "kirake: playing without sound: the mixer cannot run at %d Hz\n", rate);
        return 0;
    }
    device.open = true;
    if (device.verbose) std::fprintf(stderr, "kirake: audio through %s at %d Hz\n", name.c_str(), rate);
    return 1;
}

void FrameShown(long) {}

// A frame run but not heard: the device's thread is held while one frame's samples are discarded.
void FrameSkipped(long) {
    if (!device.open || !MixerIsOpen()) return;
    int16_t block[2 * 1024];
    Win32AudioLock(1);
    for (int left = MixerRate() / 60; left > 0;) {
        int n = left < 1024 ? left : 1024;
        MixerRender(block, n);
        left -= n;
    }
    Win32AudioLock(0);
}

void Pause(int paused) {
    if (device.open) Win32AudioPause(paused);
}
}  // namespace

extern const SoundOutput win32Sound;
const SoundOutput win32Sound = {
    .start = Start,
    .stop = Stop,
    .openDevice = OpenDevice,
    .frameShown = FrameShown,
    .frameSkipped = FrameSkipped,
    .pause = Pause,
    .hold = Pause,
};
