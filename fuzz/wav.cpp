// kirake-sfx import's reader: a fuzzed WAV read piece by piece as the tool reads a file, judged by its head
// as the tool judges it, and what passes resampled (the fuzz build's lowered sound limits keep that short).
// The whole-image reader and resampler must give the same samples. The first byte picks the rate and bits
// asked for; the rest is the file.
#include <algorithm>
#include <cstdio>
#include <numeric>
#include <cstdlib>
#include <cstring>
#include "../tools/sfx/wav_import.h"
#include "support.h"

namespace {
const uint32_t RATES[8] = {22050, 8000, 11025, 16000, 44100, 48000, 32000, 9999};
constexpr uint64_t TABLE_BUDGET = 1 << 16;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr uint64_t WORK_BUDGET = 1 << 18;  // frames made times taps
#else
constexpr uint64_t WORK_BUDGET = UINT64_MAX;  // the kept inputs replayed in the tests: every one
#endif

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "wav: %s\n", what);
    std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    uint32_t rate = RATES[data[0] & 7];
    int bits = data[0] & 8 ? 8 : 16;
    std::vector<uint8_t> image = ExpandInput(data + 1, size - 1);
    WavReader read = [&image](uint64_t at, uint8_t* to, size_t count) {
        if (at > image.size() || count > image.size() - at) return false;
        std::memcpy(to, image.data() + at, count);
        return true;
    };
    WavLayout layout;
    std::string why, wholeWhy;
    PcmSound whole;
    int ok = ReadWavLayout(read, image.size(), &layout, &why);
    if (ReadPcmWav(image, &whole, &wholeWhy) != ok || why != wholeWhy) Fail("the two readers disagree");
    if (!ok) {
        if (why.empty()) Fail("refused without a reason");
        return 0;
    }
    if (!ImportProblem(layout, rate, bits).empty()) return 0;
    // The resampler's table costs its phases times its taps to make, up to 3 million windowed sincs for
    // an odd pair of rates (the few made last are kept), and each frame made costs its taps: each run
    // resamples only where the table is at most 65,536 entries (22050 Hz to the device's 48000 Hz takes
    // 40,960) and, in the fuzzer, the frames made times the taps at most 2^18 (its blocks of 256 frames
    // are crossed all the same), the rest is the readers' alone.
    uint32_t exact = rate / std::gcd(rate, layout.rate);
    uint64_t taps = 128 * std::max<uint64_t>(1, layout.rate / rate), table = std::min<uint32_t>(exact, 1024) * taps;
    if (table > TABLE_BUDGET || ResampledFrames(layout.frames, layout.rate, rate) * taps > WORK_BUDGET) return 0;
    std::vector<float> made;
    if (!ConvertWav(read, layout, rate, [&made](const float* s, size_t n) { made.insert(made.end(), s, s + n); }))
        Fail("a file whose head was read cannot be converted");
    if (made.size() != ResampledFrames(layout.frames, layout.rate, rate)) Fail("not as many frames as promised");
    std::vector<double> again = Resample(whole.mono, whole.rate, rate);
    if (again.size() != made.size()) Fail("the whole-image resample has another length");
    for (size_t i = 0; i < made.size(); ++i)
        if (float(again[i]) != made[i]) Fail("the whole-image resample has other samples");
    return 0;
}
