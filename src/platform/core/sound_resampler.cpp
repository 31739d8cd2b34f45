// The mixer's resampler: a windowed-sinc polyphase filter from one rate to another, on interleaved stereo
// float frames. Computed from additions, multiplications, divisions and square roots only (no libm
// calls), so that every backend and every compiler gives the same coefficients and the same samples.
#include <cstring>
#include <numeric>
#include <vector>
#include "platform/core/sound_mixer.h"
#include "platform/core/sound_resampler.h"

namespace {

constexpr double PI = 3.14159265358979323846;
// The band, in fractions of the lower rate: up to PASS_EDGE the signal passes, from STOP_EDGE on it is
// stopped. The stop band starts at half the lower rate, so that what a rate change makes of a source
// (going up, the images of its whole band; going down, what would fold into the band) is stopped too,
// even for a tone just under half the lower rate, whose first image lies just above it.
constexpr double PASS_EDGE = 0.45;
constexpr double STOP_EDGE = 0.50;
// A Kaiser window of beta 10 (about 100 dB down in the stop band, the pass band as flat) over 128 taps
// of the lower rate spans that transition of 5 % of the rate.
constexpr double BETA = 10.0;
constexpr int TAPS_AT_LOWER_RATE = 128;
constexpr int MAX_EXACT_PHASES = 1024;

// sin(pi x) for any x: reduced to [-1/2, 1/2], then its Taylor series.
double SinPi(double x) {
    double whole = double(int64_t(x >= 0 ? x + 0.5 : x - 0.5));
    double r = x - whole;  // [-1/2, 1/2]
    double sign = (int64_t(whole) & 1) ? -1.0 : 1.0;
    double t = PI * r, t2 = t * t, term = t, sum = t;
    for (int k = 1; k < 14; ++k) {
        term *= -t2 / double((2 * k) * (2 * k + 1));
        sum += term;
    }
    return sign * sum;
}

// The modified Bessel function of order 0, by its power series (x up to about 20 here).
double BesselI0(double x) {
    double sum = 1.0, term = 1.0, q = x * x / 4.0;
    for (int k = 1; k < 60 && term > 1e-21 * sum; ++k) {
        term *= q / double(k * k);
        sum += term;
    }
    return sum;
}

typedef float Float4 __attribute__((vector_size(16)));

// One stereo output frame: the source frames src[0 .. taps) (interleaved) weighted by one row. Four
// sums, each of every fourth pair of frames, so that the additions do not wait on each other.
inline void Dot(const float* src, const float* row, int taps, float* left, float* right) {
    Float4 a0 = {0, 0, 0, 0}, a1 = a0, a2 = a0, a3 = a0;
    for (int i = 0; i < 2 * taps; i += 16) {
        Float4 s0, s1, s2, s3, c0, c1, c2, c3;
        std::memcpy(&s0, src + i, sizeof s0);
        std::memcpy(&s1, src + i + 4, sizeof s1);
        std::memcpy(&s2, src + i + 8, sizeof s2);
        std::memcpy(&s3, src + i + 12, sizeof s3);
        std::memcpy(&c0, row + i, sizeof c0);
        std::memcpy(&c1, row + i + 4, sizeof c1);
        std::memcpy(&c2, row + i + 8, sizeof c2);
        std::memcpy(&c3, row + i + 12, sizeof c3);
        a0 += s0 * c0;
        a1 += s1 * c1;
        a2 += s2 * c2;
        a3 += s3 * c3;
    }
    Float4 sum = (a0 + a1) + (a2 + a3);
    *left = sum[0] + sum[2];
    *right = sum[1] + sum[3];
}

}  // namespace

Resampler* ResamplerCreate(int from, int to) {
    if (from <= 0 || to <= 0) return nullptr;
    auto* rs = new Resampler;
    rs->from = from;
    rs->to = to;
    double ratio = from > to ? double(from) / to : 1.0;  // source samples per sample of the lower rate
    rs->taps = (int(TAPS_AT_LOWER_RATE * ratio) + 7) / 8 * 8;
    int g = std::gcd(from, to);
    int exact = to / g;
    rs->phases = exact <= MAX_EXACT_PHASES ? exact : MAX_EXACT_PHASES;
    rs->step = exact <= MAX_EXACT_PHASES ? uint32_t(g) : 0;
    const double cutoff = (PASS_EDGE + STOP_EDGE) / 2.0 / ratio;  // cycles per source sample
    const double half = rs->taps / 2.0;
    const double windowNorm = BesselI0(BETA);
    const int n = rs->taps;
    rs->rows.assign(size_t(rs->phases + 1) * 2 * n, 0.0f);
    std::vector<double> row(n);
    for (int p = 0; p <= rs->phases; ++p) {
        // Tap j weighs the source sample at whole - taps/2 + 1 + j: its distance from the output's time.
        double fraction = double(p) / rs->phases;
        double sum = 0.0;
        for (int j = 0; j < n; ++j) {
            double t = fraction + half - 1.0 - j;
            double w = t / half;
            double window = w * w < 1.0 ? BesselI0(BETA * __builtin_sqrt(1.0 - w * w)) / windowNorm : 0.0;
            double x = 2.0 * cutoff * t;
            double sinc = x == 0.0 ? 1.0 : SinPi(x) / (PI * x);
            row[j] = 2.0 * cutoff * sinc * window;
            sum += row[j];
        }
        for (int j = 0; j < n; ++j) {  // every row passes a constant unchanged
            float c = float(row[j] / sum);
            rs->rows[size_t(p) * 2 * n + 2 * j] = c;
            rs->rows[size_t(p) * 2 * n + 2 * j + 1] = c;
        }
    }
    return rs;
}

void ResamplerFree(Resampler* rs) { delete rs; }

int ResamplerTaps(const Resampler* rs) { return rs ? rs->taps : 0; }

void ResamplerRun(const Resampler* rs, const float* source, uint64_t* whole, uint32_t* remainder, float* left,
                  float* right, int frames) {
    const int n = rs->taps;
    uint64_t at = *whole;
    uint32_t r = *remainder;
    const uint32_t from = uint32_t(rs->from), to = uint32_t(rs->to);
    for (int k = 0; k < frames; ++k) {
        const float* src = source + 2 * at;
        float l, rr;
        if (rs->step) {
            Dot(src, rs->rows.data() + size_t(r / rs->step) * 2 * n, n, &l, &rr);
        } else {
            uint64_t scaled = uint64_t(r) * uint32_t(rs->phases);
            uint32_t p = uint32_t(scaled / to);
            float f = float(scaled % to) / float(to);
            float l0, r0, l1, r1;
            Dot(src, rs->rows.data() + size_t(p) * 2 * n, n, &l0, &r0);
            Dot(src, rs->rows.data() + size_t(p + 1) * 2 * n, n, &l1, &r1);
            l = l0 + (l1 - l0) * f;
            rr = r0 + (r1 - r0) * f;
        }
        left[k] += l;
        right[k] += rr;
        r += from;
        while (r >= to) {
            r -= to;
            ++at;
        }
    }
    *whole = at;
    *remainder = r;
}

uint64_t ResamplerSourceNeeded(const Resampler* rs, uint32_t remainder, int frames) {
    // The last output frame's first tap is (remainder + (frames - 1) * from) / to frames on.
    if (frames <= 0) return 0;
    return (uint64_t(remainder) + uint64_t(frames - 1) * uint64_t(rs->from)) / uint64_t(rs->to) + uint64_t(rs->taps);
}
