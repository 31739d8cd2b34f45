// The sequencer: instrument voices synthesised for each song, and one step of every track played
// each time the song's step interval has passed.
#include <cstdio>
#include <cstring>
#include <vector>
#include "platform/clock.h"
#include "app/hooks.h"
#include "platform/sound.h"
#include "sound/sound.h"

const int16_t pitchTable[12] = {1551, 1652, 1747, 1848, 1955, 2074, 2205, 2324, 2461, 2616, 2770, 2938};
const int16_t panTable[8] = {256, 96, 180, 224, 256, 288, 332, 420};

namespace {

uint32_t Now() { return hooks.musicClock ? hooks.musicClock() : ClockMilliseconds(); }

// Every sample an instrument can make: for each of the 64 envelope points, the sample that each of the
// 256 wave entries gives, (s x e) / 128 + 128 truncated toward zero, as a byte.
struct SampleTable {
    uint8_t at[64][256];
};

void BuildSampleTable(const int8_t* wave, const int8_t* envelope, SampleTable* table) {
    for (int k = 0; k < 64; ++k)
        for (int w = 0; w < 256; ++w) table->at[k][w] = uint8_t((wave[w] * envelope[k]) / 128 + 128);
}

// Samples i of a note of length L use envelope point (i x 64) / L, an unsigned 32-bit product and
// quotient: point k covers i from ceil(k L / 64) up to ceil((k + 1) L / 64), as long as i x 64 does not
// pass 32 bits. Longer notes take the quotient sample by sample.
void SynthesizeFromTable(const SampleTable& table, int32_t increment, uint32_t length, uint8_t* out) {
    int32_t phase = 0;
    auto step = [&phase, increment] {
        int32_t index = (phase / 256) & 255;  // the division truncates toward zero
        phase = int32_t(uint32_t(phase) + uint32_t(increment));  // wraps as a 32-bit register does
        return index;
    };
    if (length <= (1u << 26)) {
        uint32_t i = 0;
        for (int k = 0; k < 64; ++k) {
            uint32_t end = uint32_t((uint64_t(k + 1) * length + 63) / 64);
            const uint8_t* row = table.at[k];
            for (; i < end; ++i) out[i] = row[step()];
        }
    } else {
        for (uint32_t i = 0; i < length; ++i) out[i] = table.at[uint32_t(i * 64u) / length][step()];
    }
}

}  // namespace

uint32_t MusicNow() { return Now(); }

int32_t VoiceIncrement(int voice, int32_t octaveFactor) {
    int32_t product = int32_t(int64_t(pitchTable[voice % 12]) * octaveFactor);
    return voice < 12 ? product / 16 : product / 8;
}

void SynthesizeVoice(const int8_t* wave, const int8_t* envelope, int32_t increment, uint32_t length, uint8_t* out) {
    SampleTable table;
    BuildSampleTable(wave, envelope, &table);
    SynthesizeFromTable(table, increment, length, out);
}

int BuildInstrumentVoices(const int8_t* wave, const int8_t* envelope, int32_t octaveFactor, uint32_t noteLength,
                          int firstSlot) {
    if (firstSlot < 0 || firstSlot > SOUND_SLOTS - VOICES_PER_TRACK) return 0;
    if (noteLength > MAX_NOTE_LENGTH) return 0;  // a broken song must not ask for gigabytes
    const SoundFormat format = {1, 1, 22050, 22050, 1, 8, 0};
    for (int j = 0; j < VOICES_PER_TRACK; ++j) {
        SoundBuffer* buffer = SoundCreateBuffer(&format, noteLength);
        if (!buffer) return 0;
        SoundSetGroup(buffer, SOUND_GROUP_MUSIC);
        ReleaseSlot(firstSlot + j);
        sound.slots[firstSlot + j] = buffer;
    }
    std::vector<uint8_t> scratch(noteLength);
    SampleTable table;
    BuildSampleTable(wave, envelope, &table);
    for (int j = 0; j < VOICES_PER_TRACK; ++j) {
        SynthesizeFromTable(table, VoiceIncrement(j, octaveFactor), noteLength, scratch.data());
        SoundBuffer* buffer = sound.slots[firstSlot + j];
        void *region1, *region2;
        uint32_t length1, length2;
        if (!SoundLock(buffer, 0, noteLength, &region1, &length1, &region2, &length2)) return 0;
        std::memcpy(region1, scratch.data(), length1);
        if (region2 && length2) std::memcpy(region2, scratch.data() + length1, length2);
        SoundUnlock(buffer, region1, length1, region2, length2);
    }
    return 1;
}

void PrepareSong() {
    for (int t = 0; t < 3; ++t) {
        const InstrumentRecord& instrument = music.header.instruments[t];
        int first = FIRST_VOICE_SLOT + VOICES_PER_TRACK * t;
        for (int j = 0; j < VOICES_PER_TRACK; ++j) ReleaseSlot(first + j);
        // Beyond shift 19 the pitch arithmetic overflows: such an instrument stays silent.
        if (instrument.octaveShift <= MAX_OCTAVE_SHIFT)
            BuildInstrumentVoices(instrument.wave, instrument.envelope, int32_t(1) << instrument.octaveShift,
                                  instrument.noteLength, first);
        for (int j = 0; j < VOICES_PER_TRACK; ++j) {
            SetSlotVolume(first + j, instrument.volumeLevel);
            SetSlotPan(first + j, 256);
        }
    }
    int32_t drumLevel = music.header.drumLevel;
    for (int j = 0; j < VOICES_PER_TRACK; j += 2) {
        SetSlotPan(FIRST_DRUM_SLOT + j, 256);
        SetSlotPan(FIRST_DRUM_SLOT + j + 1, 256);
        SetSlotVolume(FIRST_DRUM_SLOT + j, drumLevel);
        SetSlotVolume(FIRST_DRUM_SLOT + j + 1, int32_t(int64_t(drumLevel) * 70 / 100));
    }
}

int SongControl(int command, const char* fileName) {
    switch (int8_t(uint8_t(command))) {
        case SONG_REWIND:
            music.songStep = -1;
            break;
        case SONG_PLAY:
            if (!music.tracks[0].empty()) {
                music.songPlaying = 1;
                music.lastStepTime = Now();
            }
            break;
        case SONG_PREPARE:
            PrepareSong();
            music.songStep = -1;
            break;
        case SONG_STOP:
            music.songPlaying = 0;
            break;
        case SONG_LOAD:
            if (LoadSong(fileName)) std::snprintf(music.songFile, sizeof music.songFile, "%s", fileName);
            PrepareSong();
            music.songStep = -1;
            break;
        default:
            break;
    }
    return 1;
}

void MusicTick() {
    if (!sound.retired.empty()) ReleaseRetiredSlots(Now(), 0);
    if (!music.songPlaying) return;
    uint32_t now = Now();
    if (!(now > uint32_t(music.lastStepTime + music.header.stepInterval))) return;
    const SongHeader& h = music.header;
    int64_t step = int64_t(music.songStep) + 1;
    if (step > int64_t(h.songLength) - 1 || step > int64_t(h.trackLength) - 1) step = h.loopStep;
    music.songStep = int32_t(step);
    if (step < 0 || size_t(step) >= music.tracks[0].size()) return;  // no song in memory
    for (int t = 0; t < SONG_TRACKS; ++t) {
        uint32_t word = uint32_t(music.tracks[t][size_t(step)]);
        int first = FIRST_VOICE_SLOT + VOICES_PER_TRACK * t;
        int8_t panIndex = int8_t(uint8_t(word >> 24));
        if (panIndex >= 1 && panIndex <= 7)  // other indexes leave the pan as it is
            for (int j = 0; j < VOICES_PER_TRACK; ++j) SetSlotPan(first + j, panTable[panIndex]);
        for (int j = 0; j < VOICES_PER_TRACK; ++j)
            if (word & (1u << j)) {
                PlaySlot(first + j, 1);
                if (t < 3) music.voiceStruck[VOICES_PER_TRACK * t + j] = now + 1;
            }
    }
    music.lastStepTime = Now();
}
