// Inside the mixer: the resampler's record, which the mixer reads (its rates and taps) to place buffers
// in a lane's history. The resampler's functions are declared in sound_mixer.h.
#pragma once
#include <cstdint>
#include <vector>

// A polyphase filter from one rate to another. For output frame k the source position is
// k * from / to = whole + remainder / to; the filter row for that fraction weights the taps source
// samples around it. When to / gcd (the number of distinct fractions) is small enough every fraction
// has its own row; otherwise rows are kept at 1/MAX_EXACT_PHASES steps and the two rows around the
// fraction are blended.
struct Resampler {
    int from = 0, to = 0;
    int taps = 0;             // a multiple of 8; source samples weighted per output frame
    int phases = 0;           // rows in the table (one more is kept for blending)
    uint32_t step = 0;        // remainder unit when every fraction has its row (gcd), else 0
    std::vector<float> rows;  // (phases + 1) rows of 2 * taps: each coefficient twice, for stereo frames
};
