// Clock: milliseconds and calendar time (virtual in the headless backend), and the frame boundary.
#pragma once
#include <cstdint>

// MusicTick: milliseconds since the program started (wraps as an unsigned 32-bit count).
uint32_t ClockMilliseconds();
// RouteMain: seconds since 1970-01-01 00:00:00 UTC.
int64_t GetCalendarTime();
// Frame loop, after each frame's FlipPage: the headless backend advances its clock, captures and
// delivers scripted events here; the real backend does nothing more.
void FrameShown();
