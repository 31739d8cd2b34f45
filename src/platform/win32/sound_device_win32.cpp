// The sound device behind the mixer on Windows: the system's output (WASAPI or waveOut, sound_win32.cpp)
// pulling the mixer from its own thread, or, headless, the mixer rendered by the virtual clock after
// every frame and possibly recorded.
#include <cstdio>
#include <string>
#include "platform/backend.h"
#include "platform/sound.h"
#include "platform/sound_mixer.h"
#include "platform/win32/win32.h"

namespace {
struct SoundDevice {
    bool headless;
    bool verbose;
    bool open;  // the system's output is open
    WavRecorder* recorder;
    MixerClock clock;
};
SoundDevice device;

void Record(void* recorder, const int16_t* frames, int count) {
    WavRecorderWrite(static_cast<WavRecorder*>(recorder), frames, count);
}

int OpenSystemDevice() {
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
}  // namespace

int SoundBackendStart(const PlatformOptions& options, std::string* error) {
    device = SoundDevice{};
    device.headless = options.headless;
    device.verbose = options.verbose;
    if (options.headless && !options.recordAudio.empty()) {
        device.recorder = WavRecorderOpen(options.recordAudio.c_str());
        if (!device.recorder) {
            if (error) *error = "cannot write the audio recording " + options.recordAudio;
            return 0;
        }
    }
    return 1;
}

void SoundBackendFrameShown(long framesShown) {
    if (!device.headless) return;
    MixerRenderFrames(&device.clock, framesShown, device.recorder ? Record : nullptr, device.recorder);
}

void SoundBackendHold(int hold) {
    if (device.open) Win32AudioPause(hold);
}

void SoundBackendFrameSkipped(long framesRun) {
    if (device.headless) {  // rendered on the virtual clock, not recorded
        MixerRenderFrames(&device.clock, framesRun, nullptr, nullptr);
        return;
    }
    if (!device.open || !MixerIsOpen()) return;
    // Not heard: the device's thread is held while one frame's samples are discarded.
    int16_t block[2 * 1024];
    Win32AudioLock(1);
    for (int left = MixerRate() / 60; left > 0;) {
        int n = left < 1024 ? left : 1024;
        MixerRender(block, n);
        left -= n;
    }
    Win32AudioLock(0);
}

void SoundBackendStop() {
    if (device.open) Win32AudioClose();
    device.open = false;
    if (device.recorder) {
        if (!WavRecorderClose(device.recorder))
            std::fprintf(stderr, "kirake: the audio recording could not be written completely\n");
        device.recorder = nullptr;
    }
    MixerClose();
}

void SoundBackendPause(int paused) {
    if (device.open) Win32AudioPause(paused);
}

int SoundDeviceOpen(Window) {
    if (MixerIsOpen()) return 1;
    if (FaultRefuses("no-sound")) return 0;
    if (!device.headless) return OpenSystemDevice();
    return MixerOpen(MIXER_FRAME_CLOCK_RATE);
}
