// The sequencer: step timing, looping, song commands, song files good and broken, pans, and effects.
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <vector>
#include "app/app.h"
#include "app/hooks.h"
#include "platform/sound.h"
#include "sound_test_songs.h"

namespace {

std::vector<int> plays;  // the slots that started, in order

class SoundSequencer : public testing::Test {
protected:
    void SetUp() override {
        FreshSound();
        LoadDrumKit();
        hooks.soundStarted = [](int slot) { plays.push_back(slot); };
    }
    void TearDown() override {
        ResetSound();
        hooks.soundStarted = nullptr;
    }

    // A song whose step i strikes voice i of track 0 (and nothing else), so the played step shows.
    static TestSong Counting(int32_t songLength, int32_t trackLength, int32_t loopStep, uint32_t interval = 100) {
        TestSong song;
        song.songLength = songLength;
        song.trackLength = trackLength;
        song.loopStep = loopStep;
        song.stepInterval = interval;
        song.tracks[0].resize(size_t(trackLength));
        for (int32_t i = 0; i < trackLength; ++i) song.tracks[0][size_t(i)] = 1 << (i % 24);
        return song;
    }
    std::string Write(const TestSong& song, const char* name = "song.pmd") {
        return WriteTestFile(name, song.Bytes());
    }
    void LoadAndPlay(const TestSong& song, uint32_t at) {
        std::string path = Write(song);
        SongControl(SONG_LOAD, path.c_str());
        TestClock::now = at;
        SongControl(SONG_PLAY, nullptr);
    }
    // The step a tick played, or -1 when it played none (read from the voices it struck).
    int TickAt(uint32_t time) {
        TestClock::now = time;
        plays.clear();
        MusicTick();
        if (plays.empty()) return -1;
        return plays[0] - 400;
    }
};

TEST_F(SoundSequencer, AStepNeedsMoreThanTheIntervalAndALateFrameDelaysTheRest) {
    LoadAndPlay(Counting(8, 8, 0), 1000);
    EXPECT_EQ(music.songStep, -1);
    struct Tick {
        uint32_t time;
        int step;  // played, or -1
    };
    const Tick ticks[] = {
        {1016, -1}, {1100, -1},  // equal is not enough
        {1101, 0},               // the first step one interval after play
        {1201, -1}, {1202, 1},
        {1500, 2},               // late: one step only, and the next counts from here
        {1600, -1}, {1601, 3},
        {9000, 4},               // very late: still one step per call
        {9000, -1},
    };
    for (const Tick& t : ticks) EXPECT_EQ(TickAt(t.time), t.step) << "at " << t.time;
    EXPECT_EQ(music.lastStepTime, 9000u);
}

TEST_F(SoundSequencer, TheNextIntervalCountsFromAReadingTakenAfterTheVoicesWereStruck) {
    LoadAndPlay(Counting(8, 8, 0), 1000);
    TestClock::advancePerRead = 7;
    TestClock::now = 1101;
    MusicTick();
    EXPECT_EQ(music.songStep, 0);
    EXPECT_EQ(music.lastStepTime, 1108u);
}

TEST_F(SoundSequencer, AnIntervalShorterThanAFramePlaysOneStepPerFrame) {
    LoadAndPlay(Counting(8, 8, 0, 5), 0);
    for (int frame = 1; frame <= 6; ++frame) EXPECT_EQ(TickAt(uint32_t(frame * 1000 / 60)), frame - 1);
}

TEST_F(SoundSequencer, TheTimerWrapsAsAnUnsigned32BitCount) {
    LoadAndPlay(Counting(8, 8, 0), 0xFFFFFFF0u);
    // lastStepTime + 100 wraps to 84: any time above it plays.
    EXPECT_EQ(TickAt(0xFFFFFFF5u), 0);
}

TEST_F(SoundSequencer, TheSongLoopsToTheLoopStepInTheCallThatPassedTheEnd) {
    struct Case {
        const char* what;
        int32_t songLength, trackLength, loopStep;
        std::vector<int> steps;
    };
    const Case cases[] = {
        {"loop step 0 repeats the whole song", 3, 3, 0, {0, 1, 2, 0, 1, 2, 0}},
        {"loop to the middle", 5, 5, 2, {0, 1, 2, 3, 4, 2, 3, 4, 2}},
        {"song length below N ends early", 3, 6, 1, {0, 1, 2, 1, 2, 1}},
        {"song length above N ends after N steps", 9, 4, 3, {0, 1, 2, 3, 3, 3}},
        {"one step", 1, 1, 0, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        LoadAndPlay(Counting(c.songLength, c.trackLength, c.loopStep), 0);
        uint32_t t = 0;
        for (size_t k = 0; k < c.steps.size(); ++k) {
            t += 101;
            EXPECT_EQ(TickAt(t), c.steps[k]) << c.what << ", tick " << k;
            EXPECT_EQ(music.songStep, c.steps[k]) << c.what;
        }
    }
}

TEST_F(SoundSequencer, StopAndPlayResumeWithTheNextStepAndLetNotesRingOut) {
    LoadAndPlay(Counting(8, 8, 0), 0);
    EXPECT_EQ(TickAt(101), 0);
    EXPECT_EQ(TickAt(202), 1);
    SongControl(SONG_STOP, nullptr);
    EXPECT_EQ(SlotInfo(401).playing, 1) << "the note is not cut";
    EXPECT_EQ(TickAt(5000), -1);
    EXPECT_EQ(music.songStep, 1);
    TestClock::now = 6000;
    SongControl(SONG_PLAY, nullptr);
    EXPECT_EQ(TickAt(6100), -1);
    EXPECT_EQ(TickAt(6101), 2);
    // Play while playing restarts only the timer.
    TestClock::now = 6150;
    SongControl(SONG_PLAY, nullptr);
    EXPECT_EQ(TickAt(6202), -1);
    EXPECT_EQ(TickAt(6251), 3);
    // Rewind: the next step is step 0 again.
    SongControl(SONG_REWIND, nullptr);
    EXPECT_EQ(TickAt(6400), 0);
}

TEST_F(SoundSequencer, CommandsAreTheLowByteTakenAsASignedByte) {
    LoadAndPlay(Counting(8, 8, 0), 0);
    SongControl(0x103, nullptr);  // 3: stop
    EXPECT_EQ(music.songPlaying, 0);
    SongControl(-255, nullptr);  // low byte 1: play
    EXPECT_EQ(music.songPlaying, 1);
    music.songStep = 5;
    SongControl(0x80, nullptr);  // -128: nothing
    SongControl(-1, nullptr);    // nothing
    SongControl(5, nullptr);     // nothing
    EXPECT_EQ(music.songPlaying, 1);
    EXPECT_EQ(music.songStep, 5);
    EXPECT_EQ(SongControl(0x200, nullptr), 1);  // 0: rewind
    EXPECT_EQ(music.songStep, -1);
}

TEST_F(SoundSequencer, PlayBeforeAnySongAndLoadWhilePlaying) {
    SongControl(SONG_PLAY, nullptr);
    EXPECT_EQ(music.songPlaying, 0);
    SongControl(SONG_LOAD, TestPath("missing.pmd").c_str());
    SongControl(SONG_PLAY, nullptr);
    EXPECT_EQ(music.songPlaying, 0) << "only missing files were asked for";
    for (int s = 400; s < 472; ++s) EXPECT_EQ(sound.slots[s], nullptr);

    LoadAndPlay(Counting(8, 8, 0), 0);
    EXPECT_EQ(TickAt(101), 0);
    EXPECT_EQ(TickAt(202), 1);
    TestSong other = Counting(8, 8, 0);
    other.tracks[0].assign(8, 1 << 20);
    SongControl(SONG_LOAD, Write(other, "other.pmd").c_str());
    EXPECT_EQ(music.songPlaying, 1) << "loading does not stop";
    EXPECT_EQ(music.songStep, -1);
    EXPECT_EQ(TickAt(303), 20) << "the new song takes over at the next step, from its start";
}

TEST_F(SoundSequencer, AChordStrikesItsVoicesInIncreasingOrderAfterThePan) {
    TestSong song = Counting(2, 2, 0);
    song.tracks[1] = {int32_t(0x06000000u | (1 << 3) | (1 << 0) | (1 << 23)), 0};
    song.tracks[3] = {(1 << 0) | (1 << 1) | (1 << 6) | (1 << 7) | (1 << 12), 0};
    LoadAndPlay(song, 0);
    TestClock::now = 101;
    plays.clear();
    MusicTick();
    EXPECT_EQ(plays, (std::vector<int>{400, 424, 427, 447, 472, 473, 484})) << "drum voices 6 and 7 are empty";
    for (int j = 0; j < 24; ++j) EXPECT_EQ(SlotInfo(424 + j).pan, (332 - 256) * 10) << j;
    EXPECT_EQ(SlotInfo(400).pan, 0);
    EXPECT_EQ(SlotInfo(472).playing, 1);
    EXPECT_EQ(SlotInfo(473).playing, 1) << "both voices of a pair sound at once";
}

TEST_F(SoundSequencer, TheFrameTraceShowsTheSongAndEveryStrike) {
    TestSong song = Counting(2, 2, 0);
    song.tracks[3] = {(1 << 6) | (1 << 8), 0};
    LoadAndPlay(song, 0);
    std::string path = TestPath("trace.jsonl");
    ASSERT_EQ(OpenTrace(path.c_str()), 1);
    TestClock::now = 101;
    MusicTick();
    PlaySlot(3, 1);  // an effect slot that is empty: nothing starts, nothing is listed
    PlaySlot(400, 0);
    WriteTraceLine();
    CloseTrace();
    FILE* f = std::fopen(path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char line[8192] = {};
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    std::fclose(f);
    std::string text = line;
    EXPECT_NE(text.find("\"song\":{\"playing\":1,\"step\":0}"), std::string::npos) << text;
    EXPECT_NE(text.find("\"plays\":[400,480]"), std::string::npos) << text << "drum voice 6 is empty";
}

TEST_F(SoundSequencer, PanIndexesOutsideOneToSevenLeaveThePan) {
    struct Case {
        uint32_t top;
        int32_t pan;  // expected after the step, the track having been at index 2 (180)
    };
    const Case cases[] = {{0x00, -760}, {0x01, -1600}, {0x04, 0}, {0x07, 1640},
                          {0x08, -760}, {0x7F, -760},  {0xFF, -760}, {0x80, -760}};
    for (const Case& c : cases) {
        TestSong song = Counting(2, 2, 0);
        song.tracks[3] = {int32_t(0x02000000u), int32_t(c.top << 24)};
        LoadAndPlay(song, 0);
        TickAt(101);
        TickAt(202);
        for (int j : {0, 8, 23}) EXPECT_EQ(SlotInfo(472 + j).pan, c.pan) << std::hex << c.top << " voice " << j;
    }
}

TEST_F(SoundSequencer, AMissingOrBrokenSongLeavesThePreviousSongRewound) {
    TestSong good = Counting(6, 6, 2);
    good.instruments[0].noteLength = 3000;
    const std::string goodPath = Write(good, "good.pmd");
    struct Case {
        const char* what;
        TestSong song;
        int truncateBy;  // bytes cut off the end of the file
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, auto change, int truncateBy = 0) {
        TestSong s = Counting(4, 4, 0);
        s.instruments[0].noteLength = 500;
        change(s);
        cases.push_back({what, s, truncateBy});
    };
    add("track length 0", [](TestSong& s) { s.trackLength = 0; });
    add("track length negative", [](TestSong& s) { s.trackLength = -4; });
    add("song length 0", [](TestSong& s) { s.songLength = 0; });
    add("song length negative", [](TestSong& s) { s.songLength = INT32_MIN; });
    add("loop step negative", [](TestSong& s) { s.loopStep = -1; });
    add("loop step at the song length", [](TestSong& s) { s.songLength = 3, s.loopStep = 3; });
    add("loop step at N", [](TestSong& s) { s.songLength = 9, s.loopStep = 4; });
    // A file that ends early is not refused: see SoundSongEnd.
    add("N beyond the sane bound", [](TestSong& s) { s.trackLength = (1 << 20) + 1, s.songLength = 4; }, 0);
    add("N whose size overflows 32 bits", [](TestSong& s) { s.trackLength = 0x10000001; }, 0);
    for (const Case& c : cases) {
        SongControl(SONG_LOAD, goodPath.c_str());
        music.songStep = 3;
        TestSong written = c.song;
        written.trackLength = std::min(written.trackLength, 4);  // the file does not hold longer tracks
        std::vector<uint8_t> bytes = written.Bytes();
        for (int k = 0; k < 4; ++k) bytes[20 + size_t(k)] = uint8_t(uint32_t(c.song.trackLength) >> (8 * k));
        bytes.resize(bytes.size() - size_t(c.truncateBy));
        std::string path = WriteTestFile("broken.pmd", bytes);
        EXPECT_EQ(LoadSong(path.c_str()), 0) << c.what;
        SongControl(SONG_LOAD, path.c_str());
        EXPECT_EQ(music.songStep, -1) << c.what;
        EXPECT_EQ(music.header.trackLength, 6) << c.what;
        EXPECT_EQ(music.header.loopStep, 2) << c.what;
        EXPECT_EQ(music.tracks[3].size(), 6u) << c.what;
        EXPECT_EQ(SlotInfo(400).bytes, 3000u) << c.what << ": voices rebuilt from the previous song";
    }
    SongControl(SONG_LOAD, TestPath("missing.pmd").c_str());
    EXPECT_EQ(music.header.trackLength, 6);
    EXPECT_EQ(SlotInfo(423).bytes, 3000u);
}

TEST_F(SoundSequencer, AFileOfExactlyTheHeaderAndFourTracksLoadsCompletely) {
    TestSong song = Counting(64, 64, 0);
    for (int t = 0; t < 4; ++t) song.tracks[t].assign(64, 0x01000000 * (t + 1) + t);
    song.tracks[2][63] = int32_t(0xFFFFFFFFu);
    std::vector<uint8_t> bytes = song.Bytes();
    EXPECT_EQ(bytes.size(), 2072u);
    bytes.push_back(0x55);  // extra bytes after the tracks are ignored
    ASSERT_EQ(LoadSong(WriteTestFile("exact.pmd", bytes).c_str()), 1);
    for (int t = 0; t < 4; ++t) ASSERT_EQ(music.tracks[t].size(), 64u);
    EXPECT_EQ(music.tracks[1][5], 0x02000001);
    EXPECT_EQ(music.tracks[2][63], -1);
    EXPECT_EQ(music.header.stepInterval, 100u);
    EXPECT_EQ(std::memcmp(music.header.unused, "testsong", 8), 0);
    EXPECT_EQ(music.header.instruments[2].wave[200], -100);
}

TEST(SoundSongHeader, ProblemsAreNamed) {
    SongHeader h{};
    h.trackLength = 4;
    h.songLength = 4;
    EXPECT_EQ(SongHeaderProblem(h, 1048 + 64), nullptr);
    EXPECT_NE(SongHeaderProblem(h, 1047), nullptr);
    h.trackLength = MAX_TRACK_LENGTH;
    EXPECT_EQ(SongHeaderProblem(h, 1048 + 16ull * MAX_TRACK_LENGTH), nullptr);
    h.trackLength = MAX_TRACK_LENGTH + 1;
    EXPECT_NE(SongHeaderProblem(h, ~0ull), nullptr);
}

TEST_F(SoundSequencer, RandomlyDamagedSongsAndEffectsNeverFault) {
    TestSong base = Counting(8, 8, 3);
    for (int t = 0; t < 4; ++t) base.tracks[t].assign(8, 0x03000000 | (0x111111 << t));
    for (TestInstrument& in : base.instruments) in.noteLength = 300;
    const std::vector<uint8_t> song = base.Bytes();
    const std::vector<uint8_t> effect = MakeWav58(1, 22050, 8, std::vector<uint8_t>(500, 150));
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    uint32_t time = 0;
    for (int round = 0; round < 150; ++round) {
        std::vector<uint8_t> bytes = song;
        for (int k = 0; k < 6; ++k) {
            size_t at = next() % bytes.size();
            size_t inRecord = (at - 24) % 340;
            if (at >= 24 && at < 1044 && inRecord >= 4 && inRecord < 8) continue;  // keep notes short
            bytes[at] = uint8_t(next());
        }
        if (next() % 4 == 0) bytes.resize(next() % bytes.size());
        SongControl(SONG_LOAD, WriteTestFile("damaged.pmd", bytes).c_str());
        SongControl(SONG_PLAY, nullptr);
        for (int tick = 0; tick < 20; ++tick) {
            time += 1000;
            TestClock::now = time;
            MusicTick();
        }
        std::vector<uint8_t> wav = effect;
        for (int k = 0; k < 4; ++k) wav[next() % 58] = uint8_t(next());
        if (next() % 3 == 0) wav.resize(next() % wav.size());
        LoadEffect(WriteTestFile("damaged.wav", wav).c_str(), int(next() % 8));
        PlaySlot(int(next() % 8), 1);
        int16_t out[2 * 64];
        MixerRender(out, 64);
    }
    SUCCEED();
}

// Effects in the fixed 58-byte WAV layout.
class SoundEffects : public SoundSequencer {};

TEST_F(SoundEffects, LoadsGoodFilesAndRejectsBrokenOnesLeavingTheSlotEmpty) {
    std::vector<uint8_t> tone(300);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = uint8_t(i % 2 ? 200 : 56);
    std::vector<uint8_t> good = MakeWav58(1, 11025, 8, tone);
    std::vector<uint8_t> stereo16 = MakeWav58(2, 44100, 16, std::vector<uint8_t>(400, 7));
    std::vector<uint8_t> notRiff = good;
    notRiff[3] = 'X';
    std::vector<uint8_t> pastEnd = good;
    pastEnd[54 + 1] = 0x10;  // data length 4096 + 44, but only 300 bytes follow
    std::vector<uint8_t> huge = good;
    huge[54 + 3] = 0xFF;
    std::vector<uint8_t> head57(good.begin(), good.begin() + 57);
    std::vector<uint8_t> empty = MakeWav58(1, 22050, 8, {});
    std::vector<uint8_t> adpcm = good;
    adpcm[20] = 2;
    std::vector<uint8_t> riffLengthLies = good;
    riffLengthLies[4] = 0xFF, riffLengthLies[5] = 0xFF, riffLengthLies[6] = 0xFF;
    struct Case {
        const char* what;
        const std::vector<uint8_t>* bytes;
        int loaded;
    };
    const Case cases[] = {
        {"8-bit mono 11025", &good, 1},
        {"16-bit stereo 44100", &stereo16, 1},
        {"RIFF length larger than the file", &riffLengthLies, 1},
        {"not RIFF", &notRiff, 0},
        {"data length past the end", &pastEnd, 0},
        {"data length near 4 GiB", &huge, 0},
        {"shorter than the head", &head57, 0},
        {"no data", &empty, 0},
        {"not PCM", &adpcm, 0},
        {"missing", nullptr, 0},
    };
    int slot = 0;
    for (const Case& c : cases) {
        std::string path = c.bytes ? WriteTestFile("effect.wav", *c.bytes) : TestPath("missing.wav");
        EXPECT_EQ(LoadEffect(path.c_str(), slot), c.loaded) << c.what;
        EXPECT_EQ(sound.slots[slot] != nullptr, c.loaded == 1) << c.what;
        PlaySlot(slot, 1);
        EXPECT_EQ(SlotInfo(slot).playing, c.loaded) << c.what;
        ++slot;
    }
    EXPECT_EQ(SlotInfo(0).frames, 1200u);
    EXPECT_EQ(SlotInfo(0).volume, 0);
    EXPECT_EQ(SlotInfo(0).pan, 0);
}

TEST_F(SoundEffects, PlayRestartsFromTheBeginningWithoutOverlappingItself) {
    std::vector<uint8_t> ramp(2000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(128 + (i / 20) % 100);
    ASSERT_EQ(LoadEffect(WriteTestFile("ramp.wav", MakeWav58(1, 44100, 8, ramp)).c_str(), 5), 1);
    std::vector<int16_t> first(2 * 600), again(2 * 600);
    PlaySlot(5, 1);
    MixerRender(first.data(), 600);
    PlaySlot(5, 1);  // still sounding: cut off and started again
    MixerRender(again.data(), 600);
    EXPECT_EQ(first, again);
    PlaySlot(5, 0);
    EXPECT_EQ(SlotInfo(5).playing, 0);
    PlaySlot(5, -1);
    EXPECT_EQ(SlotInfo(5).looping, 1);
    PlaySlot(5, 2);  // nothing
    EXPECT_EQ(SlotInfo(5).looping, 1);
    // Out-of-range and empty slots do nothing.
    for (int slot : {-1, 512, 100000, 300}) {
        PlaySlot(slot, 1);
        SetSlotVolume(slot, 0);
        SetSlotPan(slot, 0);
        ReleaseSlot(slot);
    }
}

}  // namespace
