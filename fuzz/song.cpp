// Song files: a fuzzed song (or a large one written small) loaded over the default first song, its voices
// built, then a few hundred steps played and mixed.
#include <string>
#include "platform/sound_mixer.h"
#include "platform/hooks.h"
#include "sound/sound.h"
#include "support.h"

namespace {
uint32_t now;
uint32_t FakeClock() { return now; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        // A small first song (two steps, short notes), so that a file that ends early has a song to
        // keep parts of.
        SongHeader first{};
        first.stepInterval = 50;
        first.songLength = first.trackLength = 2;
        for (InstrumentRecord& in : first.instruments) {
            in.octaveShift = 3;
            in.noteLength = 300;
            in.volumeLevel = 250;
            for (int k = 0; k < 256; ++k) in.wave[k] = int8_t(k < 128 ? 90 : -90);
            for (int k = 0; k < 64; ++k) in.envelope[k] = int8_t(127 - 2 * k);
        }
        first.drumLevel = 200;
        std::vector<uint8_t> bytes(SONG_HEADER_BYTES + 16 * 2, 0);
        EncodeSongHeader(first, bytes.data());
        for (size_t i = SONG_HEADER_BYTES; i < bytes.size(); i += 4) bytes[i] = 0x15;
        return WriteBytes(FuzzFolder() + "/first.pmd", bytes.data(), bytes.size());
    }();
    if (!ready) return 0;
    std::vector<uint8_t> bytes = ExpandInput(data, size);
    if (!WriteBytes(FuzzFolder() + "/Fuzz.pmd", bytes.data(), bytes.size())) return 0;
    ResetSound();
    InitSound(1);
    LoadDrumKit();
    now = 0;
    hooks.musicClock = FakeClock;
    static const std::string first = FuzzFolder() + "/first.pmd", name = FuzzFolder() + "/FUZZ.PMD";
    SongControl(SONG_LOAD, first.c_str());  // a file that ends early keeps parts of the song before it
    SongControl(SONG_LOAD, name.c_str());
    SongControl(SONG_PLAY, nullptr);
    for (int tick = 0; tick < 300; ++tick) {
        now += 17;
        MusicTick();
    }
    static int16_t out[2 * 256];
    MixerRender(out, 256);  // what was struck last, converted and mixed
    SongControl(SONG_STOP, nullptr);
    SongControl(SONG_PREPARE, nullptr);
    return 0;
}
