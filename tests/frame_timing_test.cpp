// Frame timing: the headless clock and its recording run by display refreshes (a frame that flips more
// than once takes a refresh for each flip); the timer's frame grid lets a late frame slip, as a display does.
#include <gtest/gtest.h>
#include <cstdint>
#include <string>
#include "gfx/gfx.h"
#include "platform/clock.h"
#include "platform/core/core.h"
#include "platform/platform.h"
#include "platform/sdl/pacing.h"
#include "platform/sound.h"
#include "test_support.h"

namespace {

// Audio frames in a recording: the size of its data chunk over 4 (stereo, 16 bits); -1 when it has none.
long RecordedFrames(const std::string& path) {
    std::vector<uint8_t> wav = ReadBytes(path);
    for (size_t at = 12; at + 8 <= wav.size(); at += 8 + authoring::Get32(wav, at + 4))
        if (std::string(wav.begin() + long(at), wav.begin() + long(at) + 4) == "data")
            return long(authoring::Get32(wav, at + 4) / 4);
    return -1;
}

TEST(HeadlessClock, EveryFlipOfAFrameTakesARefreshOfTheClockAndTheRecording) {
    std::string wav = MakeTempDir("frame-timing") + "/sound.wav";
    PlatformOptions options;
    options.headless = true;
    options.recordAudio = wav;
    std::string error;
    ASSERT_TRUE(PlatformStart(options, &error)) << error;
    std::vector<PaletteEntry> black(256, PaletteEntry{0, 0, 0, 0});
    OpenTestDisplay(black.data());
    ASSERT_TRUE(SoundDeviceOpen(1));

    FlipPage(1);  // a frame with its one flip
    FrameShown();
    EXPECT_EQ(ClockMilliseconds(), 1000u / 60);
    ShakeScreen(1);  // five flips, then the frame's own: six refreshes
    FlipPage(1);
    FrameShown();
    EXPECT_EQ(ClockMilliseconds(), 7000u / 60) << "the shake's flips take their refreshes";
    FlipPage(1);
    FrameShown();
    EXPECT_EQ(ClockMilliseconds(), 8000u / 60);
    EXPECT_EQ(PlatformFrameNumber(), 3) << "frames are counted as shown, not as refreshes";

    DisplayRelease();
    display = DisplayState{};
    ASSERT_TRUE(PlatformStop());
    EXPECT_EQ(RecordedFrames(wav), 8 * 44100 / 60) << "the recording holds the samples of eight refreshes";
}

// Frames run to reach a starting scene are not shown, and their flips take their refreshes all the same.
using UnshownClock = DisplayTest;

TEST_F(UnshownClock, FramesCountTheirFlipsAsShownOnesDo) {
    BeginUnshownFrames();
    ShakeScreen(1);
    FlipPage(1);
    FrameShown();
    EXPECT_EQ(ClockMilliseconds(), 6000u / 60);
    EndUnshownFrames();
    FlipPage(1);
    FrameShown();
    EXPECT_EQ(ClockMilliseconds(), 7000u / 60) << "the clock goes on from there";
}

// The grid in units of 60,000 a second: a tick every 1,000.
constexpr int64_t SECOND = 60000;

TEST(TimerPacing, FramesKeepToTheGridAndALateFrameSlipsToTheNextTickWithoutCatchingUp) {
    int64_t base = 0, count = 0;
    EXPECT_EQ(NextFrameDeadline(&base, &count, 5000, SECOND), 6000) << "the grid starts at the first frame";
    EXPECT_EQ(NextFrameDeadline(&base, &count, 6300, SECOND), 7000);
    EXPECT_EQ(NextFrameDeadline(&base, &count, 7999, SECOND), 8000) << "a frame in time waits for its tick";
    // A stall of 0.2 s: the frame waits for the next tick from now, and the next one a tick later.
    EXPECT_EQ(NextFrameDeadline(&base, &count, 20400, SECOND), 21000);
    EXPECT_EQ(NextFrameDeadline(&base, &count, 21100, SECOND), 22000) << "no burst of frames after a stall";
    // A frame that is only a little late (its work took more than a tick) slips one tick.
    EXPECT_EQ(NextFrameDeadline(&base, &count, 23050, SECOND), 24000);
    EXPECT_EQ(NextFrameDeadline(&base, &count, 24010, SECOND), 25000);
    // After a pause (the backend forgets the grid) it starts again from now.
    base = 0;
    EXPECT_EQ(NextFrameDeadline(&base, &count, 90500, SECOND), 91500);
}

}  // namespace
