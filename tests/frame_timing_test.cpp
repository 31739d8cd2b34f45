// Frame timing: the timer's frame grid lets a late frame slip, as a display does.
#include <gtest/gtest.h>
#include <cstdint>
#include "platform/sdl/pacing.h"

namespace {

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
