// Song files, effect files and a hand-set clock for the sound tests.
#pragma once
#include <gtest/gtest.h>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "../tools/common/wav58.h"
#include "platform/core/sound_mixer.h"
#include "app/hooks.h"
#include "sound/sound.h"

struct TestInstrument {
    uint8_t octaveShift = 3;
    uint32_t noteLength = 2205;
    int32_t volumeLevel = 300;
    int8_t wave[256];
    int8_t envelope[64];
    TestInstrument() {
        for (int k = 0; k < 256; ++k) wave[k] = k < 128 ? 100 : -100;
        for (int k = 0; k < 64; ++k) envelope[k] = 127;
    }
};

struct TestSong {
    uint32_t stepInterval = 100;
    int32_t loopStep = 0;
    int32_t songLength = 4;
    int32_t trackLength = 4;
    TestInstrument instruments[3];
    int32_t drumLevel = 300;
    std::vector<int32_t> tracks[4];

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> out = {'t', 'e', 's', 't', 's', 'o', 'n', 'g'};
        PutLe(out, stepInterval, 4);
        PutLe(out, uint32_t(loopStep), 4);
        PutLe(out, uint32_t(songLength), 4);
        PutLe(out, uint32_t(trackLength), 4);
        for (const TestInstrument& in : instruments) {
            out.push_back(in.octaveShift);
            out.insert(out.end(), 3, 0);
            PutLe(out, in.noteLength, 4);
            PutLe(out, uint32_t(in.volumeLevel), 4);
            out.insert(out.end(), 8, 0);
            for (int8_t v : in.wave) out.push_back(uint8_t(v));
            for (int8_t v : in.envelope) out.push_back(uint8_t(v));
        }
        PutLe(out, uint32_t(drumLevel), 4);
        for (const auto& track : tracks)
            for (int32_t i = 0; i < trackLength; ++i)
                PutLe(out, i < int32_t(track.size()) ? uint32_t(track[size_t(i)]) : 0u, 4);
        return out;
    }
};

inline std::string TestPath(const std::string& name) {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string unique = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : unique)
        if (c == '/') c = '_';
    return testing::TempDir() + "kirake_" + unique + "_" + name;
}

inline std::string WriteTestFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = TestPath(name);
    EXPECT_TRUE(WriteFileBytes(path.c_str(), bytes));
    return path;
}

// A clock the tests set by hand; every reading can also advance it.
struct TestClock {
    static inline uint32_t now = 0;
    static inline uint32_t advancePerRead = 0;
    static uint32_t Read() {
        uint32_t t = now;
        now += advancePerRead;
        return t;
    }
};

// A fresh sound system on an open 44100 Hz mixer, with the music on the hand-set clock.
inline void FreshSound() {
    ResetSound();
    MixerClose();
    MixerOpen(44100);
    InitSound(0);
    hooks.musicClock = TestClock::Read;
    TestClock::now = 0;
    TestClock::advancePerRead = 0;
}

inline MixerBufferInfo SlotInfo(int slot) {
    MixerBufferInfo info{};
    MixerBufferInfoOf(sound.slots[slot], &info);
    return info;
}

inline int PlayingInRange(int first, int count) {
    int playing = 0;
    for (int s = first; s < first + count; ++s) playing += SlotInfo(s).playing;
    return playing;
}
