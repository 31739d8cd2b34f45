// Sound: preparing a song's voices, mixing every buffer at once, and how soon the real device mixes a
// struck voice.
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/sound.h"
#include "platform/core/sound_mixer.h"
#include "sound/sound.h"

namespace {

void LoadBenchSong() {
    music = {};
    music.header.trackLength = music.header.songLength = 1;
    for (InstrumentRecord& in : music.header.instruments) {
        in.octaveShift = 3;
        in.noteLength = 22050;
        in.volumeLevel = 300;
        for (int k = 0; k < 256; ++k) in.wave[k] = int8_t(k < 128 ? 90 : -90);
        for (int k = 0; k < 64; ++k) in.envelope[k] = int8_t(127 - 2 * k);
    }
    music.header.drumLevel = 300;
}

// The whole of PrepareSong: 72 voices of 22050 samples synthesised and filled.
void PrepareSongAt(benchmark::State& state) {
    ResetSound();
    SoundBackendStop();
    MixerOpen(int(state.range(0)));
    InitSound(0);
    LoadDrumKit();
    LoadBenchSong();
    for (auto _ : state) PrepareSong();
    state.counters["samples"] = 72.0 * 22050;
    ResetSound();
    MixerClose();
}
BENCHMARK(PrepareSongAt)->Arg(22050)->Arg(44100)->Arg(48000)->Unit(benchmark::kMillisecond);

// The same, until all 72 voices are ready to sound at the mixer's rate (the mixer converts as it renders,
// so nothing is left to wait for).
void PrepareSongAndConvertAt(benchmark::State& state) {
    ResetSound();
    SoundBackendStop();
    MixerOpen(int(state.range(0)));
    InitSound(0);
    LoadBenchSong();
    MixerBufferInfo info;
    for (auto _ : state) {
        PrepareSong();
        for (int slot = 400; slot < 472; ++slot) MixerBufferInfoOf(sound.slots[slot], &info);
    }
    ResetSound();
    MixerClose();
}
BENCHMARK(PrepareSongAndConvertAt)->Arg(22050)->Arg(44100)->Arg(48000)->Unit(benchmark::kMillisecond);

// The synthesis alone: what the system computes for those 72 voices.
void SynthesiseSeventyTwoVoices(benchmark::State& state) {
    LoadBenchSong();
    const InstrumentRecord& in = music.header.instruments[0];
    std::vector<uint8_t> out(22050);
    for (auto _ : state) {
        for (int t = 0; t < 3; ++t)
            for (int j = 0; j < 24; ++j) SynthesizeVoice(in.wave, in.envelope, VoiceIncrement(j, 8), 22050, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(SynthesiseSeventyTwoVoices)->Unit(benchmark::kMillisecond);

// The mixer open at 48 kHz with 104 looping one-second buffers of 22050 Hz sounding, each its own tone;
// levelled: at volumes and pans spread over their ranges.
std::vector<SoundBuffer*> Start104Buffers(bool levelled) {
    SoundBackendStop();
    MixerOpen(48000);
    const SoundFormat format = {1, 1, 22050, 22050, 1, 8, 0};
    std::vector<SoundBuffer*> buffers;
    for (int i = 0; i < 104; ++i) {
        SoundBuffer* b = SoundCreateBuffer(&format, 22050);
        void *r1, *r2;
        uint32_t l1, l2;
        SoundLock(b, 0, 22050, &r1, &l1, &r2, &l2);
        for (uint32_t k = 0; k < l1; ++k) static_cast<uint8_t*>(r1)[k] = uint8_t(128 + (k * (i + 1)) % 50);
        SoundUnlock(b, r1, l1, r2, l2);
        if (levelled) {
            SoundSetVolume(b, -100 * (i % 10));
            SoundSetPan(b, 100 * (i % 21) - 1000);
        }
        SoundPlay(b, 1);
        buffers.push_back(b);
    }
    return buffers;
}

// One second at 48 kHz stereo with 104 buffers sounding (72 voices, 24 drums, 8 effects), summed at
// 22050 Hz and converted to 48 kHz.
void MixOneSecondOf104Buffers(benchmark::State& state) {
    std::vector<SoundBuffer*> buffers = Start104Buffers(true);
    std::vector<int16_t> out(2 * 48000);
    for (auto _ : state) {
        MixerRender(out.data(), 48000);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["playing"] = MixerPlayingCount();
    for (SoundBuffer* b : buffers) SoundRelease(b);
    MixerClose();
}
BENCHMARK(MixOneSecondOf104Buffers)->Unit(benchmark::kMillisecond);

// The same second rendered frame by frame (800 samples), as the game plays: before each frame 8 of the
// buffers are struck again and 8 given a new volume while they sound, so that the mixer takes back what
// they had summed ahead.
void MixOneSecondRestartingEveryFrame(benchmark::State& state) {
    std::vector<SoundBuffer*> buffers = Start104Buffers(false);
    std::vector<int16_t> out(2 * 800);
    int frame = 0;
    for (auto _ : state) {
        for (int f = 0; f < 60; ++f, ++frame) {
            for (int k = 0; k < 8; ++k) {
                SoundBuffer* b = buffers[size_t((frame * 8 + k) % 104)];
                SoundStop(b);
                SoundSetPosition(b, 0);
                SoundPlay(b, 1);
                SoundSetVolume(buffers[size_t((frame * 8 + k + 52) % 104)], -100 * ((frame + k) % 10));
            }
            MixerRender(out.data(), 800);
        }
        benchmark::DoNotOptimize(out.data());
    }
    for (SoundBuffer* b : buffers) SoundRelease(b);
    MixerClose();
}
BENCHMARK(MixOneSecondRestartingEveryFrame)->Unit(benchmark::kMillisecond);

// The real backend on SDL's dummy audio driver (no hardware needed): the time from striking a voice
// to the callback that mixes its first samples. The audible delay adds the device's own queue.
void SdlStrikeToFirstMix(benchmark::State& state) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    SoundBackendStop();
    PlatformOptions options;
    std::string error;
    SoundBackendStart(options, &error);
    if (!SoundDeviceOpen(0)) {
        state.SkipWithError("no SDL audio device");
        SoundBackendStop();
        return;
    }
    const SoundFormat format = {1, 1, 22050, 22050, 1, 8, 0};
    SoundBuffer* b = SoundCreateBuffer(&format, 22050);
    void *r1, *r2;
    uint32_t l1, l2;
    SoundLock(b, 0, 22050, &r1, &l1, &r2, &l2);
    SoundUnlock(b, r1, l1, r2, l2);
    for (auto _ : state) {
        SoundStop(b);
        SoundSetPosition(b, 0);
        auto start = std::chrono::steady_clock::now();
        SoundPlay(b, 0);
        MixerBufferInfo info{};
        do {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            MixerBufferInfoOf(b, &info);
        } while (info.position == 0 && info.playing);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        // Strike at a random point of the callback period next time.
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + 731 * (state.iterations() % 7)));
    }
    state.counters["callback_ms"] = 1000.0 * 256 / MixerRate();
    SoundRelease(b);
    SoundBackendStop();
}
BENCHMARK(SdlStrikeToFirstMix)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

}  // namespace
