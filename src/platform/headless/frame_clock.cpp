// The headless backend's sound output: the mixer rendered by the virtual clock after every frame, and
// recorded with --record-audio. The clock runs by display refreshes (HeadlessRefreshes): a frame that
// flips more than once renders the samples of each refresh it took. Before any backend starts (unit
// tests, the song player) it is the device: a mixer at 44100 Hz that only sounds when someone renders it.
#include <cstdio>
#include <string>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/headless/headless.h"
#include "platform/sound.h"
#include "platform/core/sound_mixer.h"

namespace {
struct FrameClockRecord {
    WavRecorder* recorder;
    MixerClock clock;  // the samples rendered by the game's frames
};
FrameClockRecord frameClock;

int Start(const PlatformOptions& options, std::string* error) {
    frameClock = FrameClockRecord{};
    if (!options.recordAudio.empty()) {
        frameClock.recorder = WavRecorderOpen(options.recordAudio.c_str());
        if (!frameClock.recorder) {
            if (error) *error = "cannot write the audio recording " + options.recordAudio;
            return 0;
        }
    }
    return 1;
}

void Stop() {
    if (frameClock.recorder && !WavRecorderClose(frameClock.recorder))
        NoteWriteFailure("the audio recording could not be written completely");
    frameClock.recorder = nullptr;
    MixerClose();
}

int Open() { return MixerOpen(MIXER_FRAME_CLOCK_RATE); }

void Record(void* recorder, const int16_t* frames, int count) {
    WavRecorderWrite(static_cast<WavRecorder*>(recorder), frames, count);
}

void Shown(long framesShown) {
    MixerRenderFrames(&frameClock.clock, HeadlessRefreshes(framesShown), frameClock.recorder ? Record : nullptr,
                      frameClock.recorder);
}

void Skipped(long framesRun) {  // rendered on the virtual clock, not recorded
    MixerRenderFrames(&frameClock.clock, HeadlessRefreshes(framesRun), nullptr, nullptr);
}

void NoPause(int) {}
}  // namespace

const SoundOutput frameClockSound = {
    .start = Start,
    .stop = Stop,
    .openDevice = Open,
    .frameShown = Shown,
    .frameSkipped = Skipped,
    .pause = NoPause,
    .hold = NoPause,
};
