// The desktop's sound output: one SDL audio device whose callback renders the mixer, faded out and in
// when the game pauses, held while frames are not shown. (Headless runs render and record the mixer by
// their virtual clock: headless/frame_clock.cpp.)
#include <SDL.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include "platform/sdl/alsa_quiet.h"
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/sound.h"
#include "platform/core/sound_mixer.h"

namespace {

// The real device: 48 kHz, 256 frames per callback (5.3 ms). A voice struck in a frame is mixed by the
// next callback and heard after the device's queue of about two callbacks: some 16 ms at worst.
constexpr int DEVICE_CALLBACK_FRAMES = 256;
// Pausing and resuming fade the whole output over this long, so that neither clicks.
constexpr int FADE_MS = 8;

struct SoundDevice {
    bool verbose;
    SDL_AudioDeviceID sdlDevice;
    bool sdlAudioStarted;
    std::atomic<int> paused;  // asked by the game's thread
    int gain;                 // device thread: 0 (silent, held) to fadeFrames (full)
    int fadeFrames;
};
SoundDevice device;

void SdlCallback(void*, Uint8* stream, int length) {
    auto* out = reinterpret_cast<int16_t*>(stream);
    int frames = length / 4;
    bool paused = device.paused.load(std::memory_order_relaxed);
    if (paused && device.gain == 0) {  // held: nothing advances until the game resumes
        std::fill(out, out + 2 * frames, int16_t(0));
        return;
    }
    MixerRender(out, frames);
    if (!paused && device.gain == device.fadeFrames) return;
    for (int i = 0; i < frames; ++i) {
        device.gain = std::clamp(device.gain + (paused ? -1 : 1), 0, device.fadeFrames);
        for (int c = 0; c < 2; ++c) out[2 * i + c] = int16_t(out[2 * i + c] * device.gain / device.fadeFrames);
    }
}

int OpenSdlDevice() {
    if (!device.verbose) QuietAlsaErrors();  // the game says itself when it plays without sound
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "kirake: playing without sound: %s\n", SDL_GetError());
        return 0;
    }
    device.sdlAudioStarted = true;
    SDL_AudioSpec want{};
    want.freq = DEVICE_RATE_ASKED;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = DEVICE_CALLBACK_FRAMES;
    want.callback = SdlCallback;
    SDL_AudioSpec have{};
    device.sdlDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (device.sdlDevice == 0) {
        std::fprintf(stderr, "kirake: playing without sound: %s\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        device.sdlAudioStarted = false;
        return 0;
    }
    MixerOpen(have.freq);
    device.fadeFrames = std::max(1, have.freq * FADE_MS / 1000);
    device.gain = device.fadeFrames;
    if (device.verbose)
        std::fprintf(stderr, "kirake: audio through %s at %d Hz, %d frames per callback (%.1f ms)\n",
                     SDL_GetCurrentAudioDriver(), have.freq, int(have.samples), 1000.0 * have.samples / have.freq);
    SDL_PauseAudioDevice(device.sdlDevice, 0);
    return 1;
}

// The device starts from nothing.
void Reset(const PlatformOptions& options) {
    device.verbose = options.verbose;
    device.sdlDevice = 0;
    device.sdlAudioStarted = false;
    device.paused = 0;
    device.gain = device.fadeFrames = 1;
}

int StartSdl(const PlatformOptions& options, std::string*) {
    Reset(options);
    return 1;
}

void SdlShown(long) {}

void SdlSkipped(long) {
    if (!device.sdlDevice || !MixerIsOpen()) return;
    // The device is not heard from here: its callback is held while one frame's samples are discarded.
    int16_t block[2 * 1024];
    int left = MixerRate() / 60;
    SDL_LockAudioDevice(device.sdlDevice);
    while (left > 0) {
        int n = std::min(1024, left);
        MixerRender(block, n);
        left -= n;
    }
    SDL_UnlockAudioDevice(device.sdlDevice);
}

void SdlHold(int hold) {
    if (device.sdlDevice) SDL_PauseAudioDevice(device.sdlDevice, hold ? 1 : 0);
}

void SdlPause(int paused) {
    if (device.sdlDevice) device.paused.store(paused ? 1 : 0, std::memory_order_relaxed);
}

void Stop() {
    if (device.sdlDevice) {
        SDL_CloseAudioDevice(device.sdlDevice);
        device.sdlDevice = 0;
    }
    if (device.sdlAudioStarted) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        device.sdlAudioStarted = false;
    }
    MixerClose();
}

}  // namespace

const SoundOutput sdlSound = {
    .start = StartSdl,
    .stop = Stop,
    .openDevice = OpenSdlDevice,
    .frameShown = SdlShown,
    .frameSkipped = SdlSkipped,
    .pause = SdlPause,
    .hold = SdlHold,
};

