// The sound device in the browser (built with emscripten): the portable mixer at 44100 Hz, rendered by
// the game's own frames exactly as the headless device renders it, and each frame's samples handed to
// the page's audio output (web/audio.js). The page plays them once the player's first key press or
// click lets it make sound; until then, and in a headless page, they are dropped, so a run takes the
// same course and mixes the same samples with or without sound. --record-audio writes them to a file.
#include <emscripten.h>

#include <cstdio>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/sound.h"
#include "platform/core/sound_mixer.h"

EM_JS(void, kirake_audio_queue, (const int16_t* frames, int count), {
    var audio = window.kirakeAudio;
    if (audio && audio.queue) audio.queue(HEAP16, frames >> 1, 2 * count);  // no view made a frame
});

namespace {

struct WebSound {
    MixerClock clock;
    WavRecorder* recorder = nullptr;
};
WebSound sound;

void Deliver(void*, const int16_t* frames, int count) {
    if (sound.recorder) WavRecorderWrite(sound.recorder, frames, count);
    kirake_audio_queue(frames, count);
}

int Start(const PlatformOptions& options, std::string* error) {
    sound = WebSound{};
    if (!options.recordAudio.empty()) {
        sound.recorder = WavRecorderOpen(options.recordAudio.c_str());
        if (!sound.recorder) {
            if (error) *error = "cannot write the audio recording " + options.recordAudio;
            return 0;
        }
    }
    return 1;
}

void Stop() {
    if (sound.recorder && !WavRecorderClose(sound.recorder))
        NoteWriteFailure("the audio recording could not be written completely");
    sound.recorder = nullptr;
    MixerClose();
}

int Open() { return MixerOpen(MIXER_FRAME_CLOCK_RATE); }
void Shown(long framesShown) { MixerRenderFrames(&sound.clock, framesShown, Deliver, nullptr); }
// Frames run but not shown: their samples are mixed and not heard.
void Skipped(long framesRun) { MixerRenderFrames(&sound.clock, framesRun, nullptr, nullptr); }
// The page pauses by itself: without frames it is handed no samples.
void NothingToHold(int) {}

}  // namespace

const SoundOutput webSound = {
    .start = Start,
    .stop = Stop,
    .openDevice = Open,
    .frameShown = Shown,
    .frameSkipped = Skipped,
    .pause = NothingToHold,
    .hold = NothingToHold,
};
