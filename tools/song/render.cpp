// kirake-song render FILE.pmd OUT.wav [--seconds S]: plays a song through the game's sequencer and the
// headless mixer (60 frames a second, MusicTick once per frame, the clock at frame x 1000 / 60 ms) and
// records it as 44100 Hz stereo 16-bit PCM. Frame n starts at sample n x 735, as in a headless run.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "platform/core/sound_mixer.h"
#include "read_input.h"
#include "song_tool.h"
#include "app/hooks.h"
#include "sound/sound.h"

namespace {

uint32_t renderClock = 0;
uint32_t RenderClock() { return renderClock; }

constexpr int SAMPLES_PER_FRAME = 735;  // 44100 / 60
constexpr long MAX_FRAMES = 60L * 60 * 60;  // one hour

}  // namespace

int SongRenderMain(int argc, char** argv) {
    const char* songPath = nullptr;
    const char* outPath = nullptr;
    double seconds = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            char* end = nullptr;
            seconds = std::strtod(argv[++i], &end);
            if (!end || *end || !(seconds >= 0) || seconds > MAX_FRAMES / 60.0) {
                std::fprintf(stderr, "kirake-song render: --seconds wants a number from 0 to %ld\n", MAX_FRAMES / 60);
                return 2;
            }
        } else if (!songPath) {
            songPath = argv[i];
        } else if (!outPath) {
            outPath = argv[i];
        } else {
            songPath = nullptr;
            break;
        }
    }
    if (!songPath || !outPath) {
        std::fprintf(stderr, "usage: kirake-song render FILE.pmd OUT.wav [--seconds S]\n");
        return 2;
    }

    ResetSound();
    InitSound(0);
    LoadDrumKit();
    std::string why;
    int fd = OpenInputFile(songPath, MAX_SONG_FILE_BYTES, &why);
    FILE* file = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (!file) {
        if (fd >= 0) close(fd);
        std::fprintf(stderr, "kirake-song render: %s: %s\n", songPath, why.c_str());
        return 1;
    }
    int loaded = LoadSongFrom(file);
    std::fclose(file);
    if (!loaded) {
        std::fprintf(stderr, "kirake-song render: %s is not a playable song (kirake-song info tells why)\n",
                     songPath);
        return 1;
    }
    PrepareSong();
    music.songStep = -1;
    hooks.musicClock = RenderClock;
    renderClock = 0;
    SongControl(SONG_PLAY, nullptr);

    // Without --seconds: one pass through the song, then two seconds for the last notes to ring out.
    const SongHeader& h = music.header;
    long passSteps = h.songLength < h.trackLength ? h.songLength : h.trackLength;
    long frames = seconds >= 0 ? std::lround(seconds * 60) : MAX_FRAMES;
    long endAfterPass = -1;
    long stepsPlayed = 0;

    WavRecorder* recorder = WavRecorderOpen(outPath);
    if (!recorder) {
        std::fprintf(stderr, "kirake-song render: cannot write %s\n", outPath);
        return 1;
    }
    int16_t block[2 * SAMPLES_PER_FRAME];
    long frame = 0;
    for (; frame < frames; ++frame) {
        renderClock = uint32_t(uint64_t(frame) * 1000 / 60);
        int32_t before = music.songStep;
        uint32_t lastBefore = music.lastStepTime;
        MusicTick();
        if (music.songStep != before || music.lastStepTime != lastBefore) ++stepsPlayed;
        if (seconds < 0 && endAfterPass < 0 && stepsPlayed >= passSteps) {
            SongControl(SONG_STOP, nullptr);  // the last notes ring out
            endAfterPass = frame + 1 + 2 * 60;
        }
        if (endAfterPass >= 0 && frame >= endAfterPass) break;
        MixerRender(block, SAMPLES_PER_FRAME);
        WavRecorderWrite(recorder, block, SAMPLES_PER_FRAME);
    }
    if (!WavRecorderClose(recorder)) {
        std::fprintf(stderr, "kirake-song render: cannot write %s\n", outPath);
        return 1;
    }
    std::printf("%s: %.2f s (%ld frames), %ld steps played\n", outPath, frame / 60.0, frame, stepsPlayed);
    ResetSound();
    return 0;
}
