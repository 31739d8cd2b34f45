// Song files: a fuzzed song loaded over a small first song, its voices built, then a few hundred steps
// played and mixed. Each run ends by releasing the tracks and voices it made and putting the first song's
// header back, so that every run starts from the same song.
#include <cstdlib>
#include <string>
#include "app/hooks.h"
#include "platform/core/sound_mixer.h"
#include "sound/sound.h"
#include "support.h"

namespace {
uint32_t now;
uint32_t FakeClock() { return now; }
std::string first;
SongHeader firstHeader;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A small first song (two steps, short notes), so that a file that ends early has a song to keep
    // parts of.
    SongHeader song{};
    song.stepInterval = 50;
    song.songLength = song.trackLength = 2;
    for (InstrumentRecord& in : song.instruments) {
        in.octaveShift = 3;
        in.noteLength = 300;
        in.volumeLevel = 250;
        for (int k = 0; k < 256; ++k) in.wave[k] = int8_t(k < 128 ? 90 : -90);
        for (int k = 0; k < 64; ++k) in.envelope[k] = int8_t(127 - 2 * k);
    }
    song.drumLevel = 200;
    std::vector<uint8_t> bytes(SONG_HEADER_BYTES + 16 * 2, 0);
    EncodeSongHeader(song, bytes.data());
    for (size_t i = SONG_HEADER_BYTES; i < bytes.size(); i += 4) bytes[i] = 0x15;
    first = FuzzFolder() + "/first.pmd";
    if (!WriteBytes(first, bytes.data(), bytes.size()) || !InitSound(1)) std::abort();
    LoadDrumKit();
    hooks.musicClock = FakeClock;
    SongControl(SONG_LOAD, first.c_str());
    firstHeader = music.header;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes = ExpandInput(data, size);
    if (!WriteBytes(FuzzFolder() + "/Fuzz.pmd", bytes.data(), bytes.size())) return 0;
    now = 0;
    static const std::string name = FuzzFolder() + "/FUZZ.PMD";
    SongControl(SONG_LOAD, name.c_str());  // a file that ends early keeps parts of the first song
    SongControl(SONG_PLAY, nullptr);
    for (int tick = 0; tick < 300; ++tick) {
        now += 17;
        MusicTick();
    }
    static int16_t out[2 * 256];
    MixerRender(out, 256);  // what was struck last, converted and mixed
    SongControl(SONG_STOP, nullptr);
    for (int slot = FIRST_VOICE_SLOT; slot < FIRST_VOICE_SLOT + 3 * VOICES_PER_TRACK; ++slot) ReleaseSlot(slot);
    for (std::vector<int32_t>& track : music.tracks) std::vector<int32_t>().swap(track);
    music.header = firstHeader;
    return 0;
}
