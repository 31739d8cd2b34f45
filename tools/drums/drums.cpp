// Synthesises the six drum samples of the executable: kirake-drums OUTDIR
// Writes BASS1.wav, BASS2.wav, SNARE1.wav, HAT1.wav, HAT2.wav and SYMBAL1.wav in the game's 58-byte WAV
// layout, PCM mono 22050 Hz 8-bit, each exactly as long as the drum kit expects.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include "wav58.h"
#include "tool_help.h"

namespace {

constexpr double RATE = 22050.0;
constexpr double PI = 3.14159265358979323846;

struct Noise {  // xorshift32: the same drums on every build
    uint32_t state;
    double Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return double(state) / 2147483648.0 - 1.0;
    }
};

// One-pole high-pass filter.
struct HighPass {
    double a, lastIn = 0, lastOut = 0;
    explicit HighPass(double cutoff) : a(1.0 / (1.0 + 2 * PI * cutoff / RATE)) {}
    double Run(double x) {
        lastOut = a * (lastOut + x - lastIn);
        lastIn = x;
        return lastOut;
    }
};

// A short fade at the very end so that no sample stops with a click.
double Tail(int i, int length) {
    int fade = std::min(length / 4, 200);
    int left = length - 1 - i;
    return left >= fade ? 1.0 : double(left) / fade;
}

std::vector<uint8_t> ToBytes(const std::vector<double>& x) {
    double peak = 1e-9;
    for (double v : x) peak = std::max(peak, std::fabs(v));
    std::vector<uint8_t> out(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        long v = std::lround(128.0 + 126.0 * x[i] / peak);
        out[i] = uint8_t(std::clamp(v, 1L, 255L));
    }
    return out;
}

// A kick: a sine falling quickly from `high` to `low` Hz, a click of noise at the start, soft saturation.
std::vector<double> Kick(int length, double high, double low, double sweep, double decay, double drive,
                         uint32_t seed) {
    std::vector<double> x(static_cast<size_t>(length));
    Noise noise{seed};
    double phase = 0;
    for (int i = 0; i < length; ++i) {
        double t = i / RATE;
        double f = low + (high - low) * std::exp(-t / sweep);
        phase += 2 * PI * f / RATE;
        double body = std::sin(phase) * std::exp(-t / decay);
        double click = noise.Next() * std::exp(-t / 0.0015) * 0.5;
        x[size_t(i)] = std::tanh(drive * (body + click)) * Tail(i, length);
    }
    return x;
}

std::vector<double> Snare(int length) {
    std::vector<double> x(static_cast<size_t>(length));
    Noise noise{0x5eed5eedu};
    HighPass hp(1200);
    double p1 = 0, p2 = 0;
    for (int i = 0; i < length; ++i) {
        double t = i / RATE;
        double f = 180 + 60 * std::exp(-t / 0.01);
        p1 += 2 * PI * f / RATE;
        p2 += 2 * PI * f * 1.78 / RATE;
        double tone = (std::sin(p1) + 0.5 * std::sin(p2)) * std::exp(-t / 0.03);
        double rattle = hp.Run(noise.Next()) * std::exp(-t / 0.05);
        x[size_t(i)] = (0.6 * tone + 1.1 * rattle) * Tail(i, length);
    }
    return x;
}

// Metal: six square waves at inharmonic ratios, mixed with noise, through two high-pass stages.
std::vector<double> Metal(int length, double base, double decay, double noiseShare, double attack, uint32_t seed) {
    static const double ratios[6] = {1.0, 1.4832, 1.8004, 2.5459, 2.6306, 3.8966};
    std::vector<double> x(static_cast<size_t>(length));
    Noise noise{seed};
    HighPass hp1(3000), hp2(3000);
    double phases[6] = {0.1, 0.7, 0.3, 0.9, 0.5, 0.2};
    for (int i = 0; i < length; ++i) {
        double t = i / RATE;
        double metal = 0;
        for (int k = 0; k < 6; ++k) {
            phases[k] += base * ratios[k] / RATE;
            metal += std::fmod(phases[k], 1.0) < 0.5 ? 1.0 : -1.0;
        }
        double raw = (1 - noiseShare) * metal / 6 + noiseShare * noise.Next();
        double shape = std::exp(-t / decay) * (attack > 0 ? 1 - std::exp(-t / attack) : 1.0);
        x[size_t(i)] = hp2.Run(hp1.Run(raw)) * shape * Tail(i, length);
    }
    return x;
}

}  // namespace

static const char help[] =
    "Usage: kirake-drums OUTDIR\n"
    "Synthesises the six drum samples the game embeds (BASS1, BASS2, SNARE1, HAT1, HAT2, SYMBAL1) as WAV\n"
    "files in OUTDIR. A build step.\n"
    "\n"
    "Options:\n"
    KIRAKE_TOOL_HELP_OPTIONS
;

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "kirake-drums", help)) return 0;
    if (argc != 2) {
        std::fprintf(stderr, "usage: kirake-drums OUTDIR\n");
        return 2;
    }
    struct Drum {
        const char* name;
        std::vector<double> samples;
    };
    const Drum drums[] = {
        {"BASS1", Kick(2016, 170, 48, 0.018, 0.045, 1.6, 0x1234567u)},
        {"BASS2", Kick(1897, 120, 42, 0.025, 0.05, 2.4, 0x7654321u)},
        {"SNARE1", Snare(3234)},
        {"HAT1", Metal(15076, 420, 0.16, 0.55, 0, 0xabcdef1u)},
        {"HAT2", Metal(738, 420, 0.008, 0.55, 0, 0x1fedcbau)},
        {"SYMBAL1", Metal(15567, 340, 0.28, 0.75, 0.002, 0x2468aceu)},
    };
    for (const Drum& d : drums) {
        std::string path = std::string(argv[1]) + "/" + d.name + ".wav";
        if (!WriteFileBytes(path.c_str(), MakeWav58(1, 22050, 8, ToBytes(d.samples)))) {
            std::fprintf(stderr, "kirake-drums: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
