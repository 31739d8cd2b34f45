// Voice synthesis, the instrument and drum voices of a song, and the drum kit from the resources.
#include <gtest/gtest.h>
#include <cstring>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/resources.h"
#include "platform/sound.h"
#include "sound_test_songs.h"

namespace {

std::vector<uint8_t> Synthesize(const int8_t* wave, const int8_t* envelope, int32_t increment, uint32_t length) {
    std::vector<uint8_t> out(length);
    SynthesizeVoice(wave, envelope, increment, length, out.data());
    return out;
}

// Every sample of a voice as it sits in its slot.
std::vector<uint8_t> SlotBytes(int slot) {
    std::vector<uint8_t> bytes;
    SoundBuffer* b = sound.slots[slot];
    if (!b) return bytes;
    uint32_t size = SlotInfo(slot).bytes;
    void *r1, *r2;
    uint32_t l1, l2;
    if (SoundLock(b, 0, size, &r1, &l1, &r2, &l2)) {
        bytes.assign(static_cast<uint8_t*>(r1), static_cast<uint8_t*>(r1) + l1);
        SoundUnlock(b, r1, l1, r2, l2);
    }
    return bytes;
}

struct SynthCase {
    const char* what;
    int waveKind;      // 0: constant waveValue; 1: wave[k] = k as a signed byte
    int8_t waveValue;
    int envKind;       // 0: constant envValue; 1: envelope[k] = k
    int8_t envValue;
    int32_t increment;
    std::vector<uint8_t> expected;
};

TEST(SoundVoices, SamplesMatchValuesWorkedOutByHand) {
    const SynthCase cases[] = {
        // 100 x 127 = 12700; / 128 = 99.2 -> 99; + 128
        {"positive product", 0, 100, 0, 127, 500, {227, 227, 227, 227}},
        // -12700 / 128 = -99.2 -> -99 toward zero (floor would give 28)
        {"negative product truncates toward zero", 0, -100, 0, 127, 500, {29, 29, 29, 29}},
        // -128 x -128 / 128 = 128; + 128 = 256, stored as its low 8 bits
        {"largest product wraps to 0", 0, -128, 0, -128, 500, {0, 0, 0}},
        // envelope index (i x 64) / 3 = 0, 21, 42: 127 x 21 = 2667 / 128 = 20; 127 x 42 = 5334 / 128 = 41
        {"envelope stretched over the note", 0, 127, 1, 0, 500, {128, 148, 169}},
        // phase 0, 25600, 51200, 76800 -> wave index 0, 100, 200, 44 -> 0, 100, -56, 44; x 64 / 128
        {"phase steps through the wave", 1, 0, 0, 64, 25600, {128, 178, 100, 150}},
        // phase 0, -300, -600 -> -300 / 256 = -1 (not -2) -> index 255 -> -1; -600 / 256 = -2 -> 254 -> -2;
        // x -128 / 128 negates
        {"negative phase divides toward zero", 1, 0, 0, -128, -300, {128, 129, 130}},
        // phase 0, 0x7FFFFF00, then wraps to -512: index 0, 255, 254 -> 0, -1, -2; x 64 / 128 -> 0, 0, -1
        {"phase wraps as a signed 32-bit number", 1, 0, 0, 64, 0x7FFFFF00, {128, 128, 127}},
    };
    for (const SynthCase& c : cases) {
        int8_t wave[256], envelope[64];
        for (int k = 0; k < 256; ++k) wave[k] = c.waveKind == 0 ? c.waveValue : int8_t(uint8_t(k));
        for (int k = 0; k < 64; ++k) envelope[k] = c.envKind == 0 ? c.envValue : int8_t(k);
        EXPECT_EQ(Synthesize(wave, envelope, c.increment, uint32_t(c.expected.size())), c.expected) << c.what;
    }
}

// The note computed sample by sample exactly as the steps read: no tables, no segments.
std::vector<uint8_t> Reference(const int8_t* wave, const int8_t* envelope, int32_t increment, uint32_t length) {
    std::vector<uint8_t> out(length);
    int64_t phase = 0;
    for (uint32_t i = 0; i < length; ++i) {
        int32_t p32 = int32_t(uint32_t(uint64_t(phase)));
        int s = wave[(p32 / 256) & 255];
        int e = envelope[uint32_t(i * 64u) / length];
        out[i] = uint8_t((s * e) / 128 + 128);
        phase += increment;
    }
    return out;
}

TEST(SoundVoices, EveryLengthAndIncrementMatchesTheSampleBySampleArithmetic) {
    int8_t wave[256], envelope[64];
    for (int k = 0; k < 256; ++k) wave[k] = int8_t(uint8_t(k * 37 + 11));
    for (int k = 0; k < 64; ++k) envelope[k] = int8_t(uint8_t(k * 53 + 200));
    for (uint32_t length : {1u, 2u, 3u, 63u, 64u, 65u, 127u, 1000u, 4097u, 22050u})
        for (int32_t increment : {0, 96, 775, 2616 * 64, 0x7FFFFF00, -300, INT32_MIN})
            ASSERT_EQ(Synthesize(wave, envelope, increment, length), Reference(wave, envelope, increment, length))
                << "length " << length << " increment " << increment;
}

TEST(SoundVoices, PhaseIncrementsGiveTheWorkedExampleFrequencies) {
    struct Case {
        int voice;
        int32_t octaveFactor;
        int32_t increment;
    };
    const Case cases[] = {
        {9, 8, 1308},  {21, 8, 2616}, {0, 8, 775},   {12, 8, 1551},  {0, 1, 96},
        {11, 1, 183},  {23, 1, 367},  {9, 1, 163},   {23, 1 << 19, 192544768},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VoiceIncrement(c.voice, c.octaveFactor), c.increment) << c.voice << " x" << c.octaveFactor;
    }
    // 22050 x increment / 65536 Hz: voice 9 at shift 3 is A at 440 Hz.
    EXPECT_NEAR(22050.0 * VoiceIncrement(9, 8) / 65536, 440.1, 0.05);
}

class SoundSongVoices : public testing::Test {
protected:
    void SetUp() override { FreshSound(); }
    void TearDown() override { ResetSound(); }
    void Load(const TestSong& song) {
        std::string path = WriteTestFile("song.pmd", song.Bytes());
        ASSERT_EQ(LoadSong(path.c_str()), 1);
        PrepareSong();
    }
};

TEST_F(SoundSongVoices, InstrumentVoicesHoldTheSynthesisedNotes) {
    TestSong song;
    song.instruments[1].octaveShift = 2;
    song.instruments[1].noteLength = 1000;
    for (int k = 0; k < 256; ++k) song.instruments[1].wave[k] = int8_t(uint8_t(k));
    for (int k = 0; k < 64; ++k) song.instruments[1].envelope[k] = int8_t(127 - 2 * k);
    Load(song);
    for (int j : {0, 5, 12, 23}) {
        std::vector<uint8_t> expected =
            Synthesize(song.instruments[1].wave, song.instruments[1].envelope, VoiceIncrement(j, 4), 1000);
        EXPECT_EQ(SlotBytes(424 + j), expected) << "voice " << j;
    }
    // Voice 9 at shift 2: increment 2616 x 4 / 16 = 654; sample 1 reads wave[654 / 256 = 2] = 2,
    // envelope[(1 x 64) / 1000 = 0] = 127: 254 / 128 = 1, + 128.
    EXPECT_EQ(SlotBytes(424 + 9)[1], 129);
    for (int slot = 400; slot < 472; ++slot) {
        EXPECT_EQ(SlotInfo(slot).volume, 0) << slot;
        EXPECT_EQ(SlotInfo(slot).pan, 0) << slot;
    }
}

TEST_F(SoundSongVoices, AnAllZeroEnvelopeIsSilent) {
    TestSong song;
    for (int8_t& e : song.instruments[0].envelope) e = 0;
    Load(song);
    std::vector<uint8_t> bytes = SlotBytes(400 + 7);
    ASSERT_EQ(bytes.size(), 2205u);
    for (uint8_t b : bytes) ASSERT_EQ(b, 128);
}

TEST_F(SoundSongVoices, UnbuildableInstrumentsStaySilentAndTheOthersAreBuilt) {
    struct Case {
        const char* what;
        uint8_t octaveShift;
        uint32_t noteLength;
        bool built;
    };
    const Case cases[] = {
        {"shift 19 is the highest", 19, 100, true},
        {"shift 20 would overflow", 20, 100, false},
        {"shift 255", 255, 100, false},
        {"note length 4", 3, 4, true},
        {"note length 3 is refused by the device", 3, 3, false},
        {"note length 0", 3, 0, false},
        {"note length beyond any sane size", 3, 0xFFFFFFFFu, false},
    };
    for (const Case& c : cases) {
        TestSong song;
        song.instruments[2].octaveShift = c.octaveShift;
        song.instruments[2].noteLength = c.noteLength;
        Load(song);
        for (int j = 0; j < 24; ++j) EXPECT_EQ(sound.slots[448 + j] != nullptr, c.built) << c.what << " voice " << j;
        EXPECT_NE(sound.slots[400], nullptr) << c.what;
        EXPECT_NE(sound.slots[424 + 23], nullptr) << c.what;
    }
}

TEST_F(SoundSongVoices, VolumeLevelsOutsideTheDeviceRangeKeepThePreviousSetting) {
    TestSong song;
    song.instruments[0].volumeLevel = 100;  // -1600
    song.instruments[1].volumeLevel = 0x7FFFFFFF;
    song.instruments[2].volumeLevel = -951;
    Load(song);
    EXPECT_EQ(SlotInfo(400).volume, -1600);
    EXPECT_EQ(SlotInfo(424).volume, 0) << "the new buffer keeps its default";
    EXPECT_EQ(SlotInfo(448).volume, 0);
}

class SoundDrumKit : public SoundSongVoices {};

TEST_F(SoundDrumKit, ResourcesHoldTheSixDrumsInTheFixedLayout) {
    struct Drum {
        const char* name;
        uint32_t length;
    };
    const Drum drums[] = {{"BASS1", 2016}, {"BASS2", 1897}, {"SNARE1", 3234},
                          {"HAT1", 15076}, {"HAT2", 738},   {"SYMBAL1", 15567}};
    for (const Drum& d : drums) {
        uint32_t size = 0;
        const uint8_t* image = FindEmbeddedResource(d.name, "WAVE", &size);
        ASSERT_NE(image, nullptr) << d.name;
        EXPECT_EQ(size, 58 + d.length + (d.length & 1)) << d.name;
        std::vector<uint8_t> head(image, image + 58);
        std::vector<uint8_t> expected(MakeWav58(1, 22050, 8, std::vector<uint8_t>(d.length)));
        expected.resize(58);
        EXPECT_EQ(head, expected) << d.name;
        int quiet = 0;
        for (uint32_t i = 0; i < d.length; ++i) quiet += (image[58 + i] > 120 && image[58 + i] < 136);
        EXPECT_LT(quiet, int(d.length) * 9 / 10) << d.name << " must make a sound";
    }
}

TEST_F(SoundDrumKit, LoadsTwentyTwoVoicesAndLevelsThemInPairs) {
    music.songPlaying = 1;
    EXPECT_EQ(LoadDrumKit(), 1);
    EXPECT_EQ(music.songPlaying, 0);
    for (int j = 0; j < 24; ++j) EXPECT_EQ(sound.slots[472 + j] == nullptr, j == 6 || j == 7) << "drum voice " << j;
    EXPECT_EQ(SlotInfo(480).frames, 2u * 15076);
    struct Case {
        int32_t drumLevel;
        int32_t even, odd;
    };
    // -5 x 70 / 100 = -3 (toward zero), so the odd voice is louder than the even one there.
    const Case cases[] = {{300, 0, -720}, {100, -1600, -1840}, {1, -2392, -2400}, {-5, -2440, -2424}};
    for (const Case& c : cases) {
        TestSong song;
        song.drumLevel = c.drumLevel;
        Load(song);
        for (int j = 0; j < 24; ++j) {
            if (j == 6 || j == 7) continue;
            EXPECT_EQ(SlotInfo(472 + j).volume, j % 2 ? c.odd : c.even) << c.drumLevel << " voice " << j;
            EXPECT_EQ(SlotInfo(472 + j).pan, 0);
        }
    }
}

TEST_F(SoundDrumKit, WithoutADeviceNothingIsLoadedAndNothingFails) {
    ResetSound();
    MixerClose();
    AddFault("no-sound");
    EXPECT_EQ(InitSound(0), 0);
    ClearFaults();
    EXPECT_EQ(LoadDrumKit(), 1);
    for (int j = 0; j < 24; ++j) EXPECT_EQ(sound.slots[472 + j], nullptr);
    TestSong song;
    std::string path = WriteTestFile("song.pmd", song.Bytes());
    EXPECT_EQ(SongControl(SONG_LOAD, path.c_str()), 1);
    for (int s = 400; s < 496; ++s) ASSERT_EQ(sound.slots[s], nullptr);
    PlaySlot(400, 1);
    SetSlotVolume(400, 100);
    SetSlotPan(400, 0);
    ReleaseSlot(400);
}

}  // namespace
