// Inside the SDL backend: the timer's frame grid (pacing.cpp), apart from the clock so that its arithmetic
// can be checked with any clock. No SDL here.
#pragma once
#include <cstdint>

// The deadline of the next game frame when the timer paces, on a grid of 60 ticks a second that starts at
// *base (in clock units, `second` of them a second; 0: no grid yet, it starts now). *count is the tick of
// the frame before. A frame that comes after its tick (a stall, a slow frame) is not caught up: like a
// display that shows a late page at its next refresh, it waits for the first tick from now, and the ticks
// it missed are dropped.
inline int64_t NextFrameDeadline(int64_t* base, int64_t* count, int64_t now, int64_t second) {
    if (*base == 0) {
        *base = now;
        *count = 0;
    }
    int64_t tick = *count + 1;
    if (*base + tick * second / 60 < now) tick = (now - *base) * 60 / second + 1;
    *count = tick;
    return *base + tick * second / 60;
}
