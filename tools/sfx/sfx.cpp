// kirake-sfx: synthesises the game's eight sound effects, and turns any PCM WAV into an effect.
//   kirake-sfx OUTDIR            writes every effect into OUTDIR
//   kirake-sfx OUTDIR NAME...    writes only the named ones ("End.wav", ...)
//   kirake-sfx import IN.wav OUT.wav [--rate HZ] [--bits 8|16]
// Each effect is a short recipe below built from a few voices (tones with pitch glides, filtered noise,
// exponential decays). The output is 16-bit mono at 22050 Hz in the game's 58-byte WAV layout. The noise
// comes from a fixed-seed generator, so every build writes the same bytes.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "../common/wav58.h"
#include "platform/sound.h"
#include "read_input.h"
#include "tool_help.h"
#include "wav_import.h"

namespace {

constexpr double RATE = 22050.0;
constexpr double PI = 3.14159265358979323846;

struct Noise {
    uint32_t state;
    double Next() {  // uniform in [-1, 1)
        state = state * 1664525u + 1013904223u;
        return double(state >> 8) / double(1 << 23) - 1.0;
    }
};

// One-pole low-pass and a resonant band-pass (state-variable filter) for shaping noise.
struct LowPass {
    double y = 0;
    double Step(double x, double cutoff) {
        double a = 1.0 - std::exp(-2.0 * PI * cutoff / RATE);
        y += a * (x - y);
        return y;
    }
};
struct BandPass {  // biquad band-pass, constant peak gain
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double Step(double x, double centre, double q) {
        double w = 2.0 * PI * std::min(centre, RATE * 0.45) / RATE;
        double alpha = std::sin(w) / (2.0 * q);
        double a0 = 1.0 + alpha;
        double y = (alpha * x - alpha * x2 + 2.0 * std::cos(w) * y1 - (1.0 - alpha) * y2) / a0;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

using Buffer = std::vector<double>;

Buffer Silence(double seconds) { return Buffer(size_t(seconds * RATE), 0.0); }

double Decay(double t, double halfLife) { return std::exp2(-t / halfLife); }
double Attack(double t, double length) { return t >= length ? 1.0 : t / length; }

// A sine partial starting at `start`, gliding exponentially from f0 to f1 over `glide` seconds.
void AddTone(Buffer& out, double start, double f0, double f1, double glide, double level, double halfLife,
             double attack = 0.002, double shape = 0.0) {
    double phase = 0;
    for (size_t i = size_t(start * RATE); i < out.size(); ++i) {
        double t = double(i) / RATE - start;
        double f = t < glide ? f0 * std::pow(f1 / f0, t / glide) : f1;
        phase += 2.0 * PI * f / RATE;
        double s = std::sin(phase);
        if (shape > 0) s = std::tanh(s * (1.0 + shape * 4.0)) / std::tanh(1.0 + shape * 4.0);  // towards square
        out[i] += level * s * Decay(t, halfLife) * Attack(t, attack);
    }
}

// Band-passed noise whose centre moves from c0 to c1 over `sweep` seconds, with an attack and a decay.
void AddNoise(Buffer& out, Noise& noise, double start, double length, double c0, double c1, double sweep,
              double q, double level, double attack, double halfLife) {
    BandPass filter;
    size_t end = std::min(out.size(), size_t((start + length) * RATE));
    for (size_t i = size_t(start * RATE); i < end; ++i) {
        double t = double(i) / RATE - start;
        double c = t < sweep ? c0 * std::pow(c1 / c0, t / sweep) : c1;
        double tail = std::min(1.0, (length - t) / 0.01);  // no click at the cut
        out[i] += level * filter.Step(noise.Next(), c, q) * Attack(t, attack) * Decay(t, halfLife) * tail;
    }
}

void AddLowNoise(Buffer& out, Noise& noise, double start, double cutoff0, double cutoff1, double glide,
                 double level, double halfLife) {
    LowPass filter;
    for (size_t i = size_t(start * RATE); i < out.size(); ++i) {
        double t = double(i) / RATE - start;
        double c = t < glide ? cutoff0 * std::pow(cutoff1 / cutoff0, t / glide) : cutoff1;
        out[i] += level * filter.Step(noise.Next(), c) * Decay(t, halfLife);
    }
}

// --- The eight recipes -----------------------------------------------------------------------------------

// A bright ending chime: a rising arpeggio of bell tones that settles on a chord.
Buffer EndChime() {
    Buffer b = Silence(2.6);
    const double notes[] = {783.99, 987.77, 1174.66, 1567.98};  // G5 B5 D6 G6
    for (int k = 0; k < 4; ++k) {
        double start = 0.11 * k;
        AddTone(b, start, notes[k], notes[k], 0, 0.26, 0.45);
        AddTone(b, start, notes[k] * 2.76, notes[k] * 2.76, 0, 0.05, 0.12);  // bell overtone
        AddTone(b, start, notes[k] * 2.0, notes[k] * 2.0, 0, 0.06, 0.25);
    }
    for (double f : {392.0, 493.88, 587.33, 783.99}) AddTone(b, 0.5, f, f, 0, 0.14, 0.55, 0.01);
    return b;
}

// A crash: a burst of broad noise with a falling brightness, glass-like rattles and a low thud.
Buffer Crash() {
    Buffer b = Silence(1.4);
    Noise n{0x1234567};
    AddLowNoise(b, n, 0, 9000, 1200, 0.9, 0.9, 0.22);
    AddNoise(b, n, 0, 1.3, 5200, 3000, 1.0, 1.2, 0.5, 0.001, 0.3);
    AddTone(b, 0, 140, 45, 0.25, 0.6, 0.12);
    for (int k = 0; k < 7; ++k) {  // scattered debris
        double t = 0.08 + 0.11 * k + 0.03 * n.Next();
        AddNoise(b, n, t, 0.12, 3000 + 900 * k, 2600 + 700 * k, 0.1, 6.0, 0.35 - 0.03 * k, 0.001, 0.03);
    }
    return b;
}

// A knife-like swish: a fast sweep of narrow noise followed by a faint metallic ring.
Buffer Houtyo() {
    Buffer b = Silence(0.55);
    Noise n{0xBEEF01};
    AddNoise(b, n, 0, 0.22, 900, 7000, 0.2, 2.5, 1.4, 0.06, 0.5);
    AddTone(b, 0.16, 3520, 3520, 0, 0.09, 0.08, 0.004);
    AddTone(b, 0.16, 5280, 5300, 0.3, 0.05, 0.06, 0.004);
    return b;
}

// A heavy hit: a deep pitch-dropping body with a sharp click and a short rumble.
Buffer Han() {
    Buffer b = Silence(0.9);
    Noise n{0x51A5};
    AddTone(b, 0, 150, 38, 0.3, 0.95, 0.14, 0.001, 0.4);
    AddTone(b, 0, 300, 80, 0.12, 0.3, 0.05);
    AddNoise(b, n, 0, 0.05, 3000, 1500, 0.05, 1.0, 0.7, 0.0005, 0.012);
    AddLowNoise(b, n, 0, 700, 200, 0.4, 0.9, 0.1);
    return b;
}

// A magic sparkle: quick rising glints over a shimmering high chord.
Buffer Magic() {
    Buffer b = Silence(1.3);
    Noise n{0xA11CE};
    const double scale[] = {1046.5, 1318.5, 1568.0, 2093.0, 2637.0, 3136.0, 4186.0};
    for (int k = 0; k < 14; ++k) {
        double f = scale[k % 7] * (k >= 7 ? 1.5 : 1.0);
        double t = 0.045 * k + 0.01 * n.Next();
        AddTone(b, std::max(0.0, t), f, f * 1.01, 0.05, 0.16, 0.07, 0.002);
    }
    for (double f : {2093.0, 2637.0, 3136.0}) {  // shimmer: two detuned partials beating
        AddTone(b, 0.2, f, f, 0, 0.05, 0.35, 0.2);
        AddTone(b, 0.2, f * 1.004, f * 1.004, 0, 0.05, 0.35, 0.2);
    }
    AddNoise(b, n, 0, 1.2, 8000, 9000, 1.0, 6.0, 0.12, 0.1, 0.4);
    return b;
}

// A message blip: two short soft-square tones a fifth apart.
Buffer MessageBlip() {
    Buffer b = Silence(0.16);
    AddTone(b, 0, 1318.5, 1318.5, 0, 0.35, 0.025, 0.002, 0.5);
    AddTone(b, 0.055, 1975.5, 1975.5, 0, 0.3, 0.03, 0.002, 0.5);
    return b;
}

// A box sound: a hollow wooden knock, resonant noise at a few body modes.
Buffer Box() {
    Buffer b = Silence(0.45);
    Noise n{0xB0C5};
    AddNoise(b, n, 0, 0.4, 420, 400, 0.1, 12.0, 2.2, 0.0005, 0.06);
    AddNoise(b, n, 0, 0.3, 980, 950, 0.1, 14.0, 1.1, 0.0005, 0.04);
    AddNoise(b, n, 0, 0.2, 2200, 2100, 0.1, 10.0, 0.5, 0.0005, 0.015);
    AddTone(b, 0, 210, 160, 0.1, 0.45, 0.05);
    AddNoise(b, n, 0.09, 0.3, 430, 410, 0.1, 12.0, 0.9, 0.0005, 0.05);  // a second, lighter bounce
    return b;
}

// A punch: a thump with a dull slap on top.
Buffer Punch() {
    Buffer b = Silence(0.38);
    Noise n{0x9A7C};
    AddTone(b, 0, 180, 55, 0.12, 0.9, 0.06, 0.001, 0.3);
    AddNoise(b, n, 0, 0.08, 2500, 900, 0.06, 0.8, 1.0, 0.0005, 0.018);
    AddLowNoise(b, n, 0, 1500, 300, 0.1, 1.2, 0.04);
    return b;
}

struct Effect {
    const char* name;
    Buffer (*make)();
};
const Effect EFFECTS[] = {
    {"End.wav", EndChime}, {"Crash.wav", Crash}, {"Houtyo.wav", Houtyo}, {"Han.wav", Han},
    {"mag.wav", Magic},    {"messg.wav", MessageBlip}, {"hako3.wav", Box}, {"punch3.wav", Punch},
};

// Normalises the peak to `peak` of full scale, fades the last 5 ms out and packs 16-bit samples.
std::vector<uint8_t> Pack(Buffer b, double peak) {
    double top = 0;
    for (double s : b) top = std::max(top, std::fabs(s));
    double gain = top > 0 ? peak / top : 0;
    size_t fade = std::min(b.size(), size_t(0.005 * RATE));
    std::vector<uint8_t> bytes;
    bytes.reserve(b.size() * 2);
    for (size_t i = 0; i < b.size(); ++i) {
        double s = b[i] * gain;
        size_t left = b.size() - i;
        if (left < fade) s *= double(left) / double(fade);
        long v = std::lround(std::clamp(s, -1.0, 1.0) * 32767.0);
        PutLe(bytes, uint32_t(int16_t(v)) & 0xFFFF, 2);
    }
    return bytes;
}

}  // namespace

namespace {

// The most of a WAV file that is read: more than the longest effect the game plays at any rate needs
// (about 350 s), but a file may hold 192000 Hz stereo of 32 bits.
constexpr uint64_t MAX_INPUT_BYTES = uint64_t(256) << 20;

// The input read where it is asked, through a window of 64 KiB, so that walking the chunk heads costs
// few reads. (lseek and read: Windows has no pread.)
struct InputFile {
    int fd;
    std::vector<uint8_t> window;
    uint64_t windowAt = 0;

    bool ReadAt(uint64_t at, uint8_t* to, size_t count) {
        if (at >= windowAt && at + count <= windowAt + window.size()) {
            std::memcpy(to, window.data() + (at - windowAt), count);
            return true;
        }
        if (count >= 65536) return ReadFully(at, to, count) == count;
        window.resize(65536);
        window.resize(ReadFully(at, window.data(), window.size()));
        windowAt = at;
        if (count > window.size()) return false;
        std::memcpy(to, window.data(), count);
        return true;
    }
    size_t ReadFully(uint64_t at, uint8_t* to, size_t count) {
        if (lseek(fd, off_t(at), SEEK_SET) != off_t(at)) return 0;
        size_t done = 0;
        while (done < count) {
            ssize_t got = read(fd, to + done, count - done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            done += size_t(got);
        }
        return done;
    }
};

const char USAGE_IMPORT[] = "usage: kirake-sfx import IN.wav OUT.wav [--rate HZ] [--bits 8|16]\n";

// import IN OUT [--rate HZ] [--bits 8|16]: any PCM WAV to the game's 58-byte layout, mono.
int Import(int argc, char** argv) {
    const char* in = nullptr;
    const char* out = nullptr;
    long rate = 22050, bits = 16;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--rate" || arg == "--bits") && i + 1 < argc) {
            char* end = nullptr;
            long value = std::strtol(argv[++i], &end, 10);
            if (!*argv[i] || *end) value = -1;
            (arg == "--rate" ? rate : bits) = value;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "kirake-sfx: unknown option %s\n%s", arg.c_str(), USAGE_IMPORT);
            return 2;
        } else if (!in) {
            in = argv[i];
        } else if (!out) {
            out = argv[i];
        } else {
            std::fputs(USAGE_IMPORT, stderr);
            return 2;
        }
    }
    if (!in || !out) {
        std::fputs(USAGE_IMPORT, stderr);
        return 2;
    }
    if (rate < 8000 || rate > 48000) {
        std::fprintf(stderr, "kirake-sfx: --rate takes 8000 to 48000 (Hz)\n");
        return 2;
    }
    if (bits != 8 && bits != 16) {
        std::fprintf(stderr, "kirake-sfx: --bits takes 8 or 16\n");
        return 2;
    }
    std::string why;
    InputFile file = {OpenInputFile(in, MAX_INPUT_BYTES, &why), {}, 0};
    struct stat info;
    WavLayout layout;
    WavReader reader = [&file](uint64_t at, uint8_t* to, size_t count) { return file.ReadAt(at, to, count); };
    if (file.fd < 0 || fstat(file.fd, &info) != 0 || !ReadWavLayout(reader, uint64_t(info.st_size), &layout, &why)) {
        if (file.fd >= 0) close(file.fd);
        std::fprintf(stderr, "kirake-sfx: %s: %s\n", in, why.c_str());
        return 1;
    }
    for (const std::string& note : layout.notes) std::fprintf(stderr, "kirake-sfx: %s: %s\n", in, note.c_str());
    // Judged by the head: the effect the game would refuse is refused before a sample is read.
    uint64_t frames = ResampledFrames(layout.frames, layout.rate, uint32_t(rate));
    uint64_t bytes = frames * uint64_t(bits / 8);
    std::string problem = ImportProblem(layout, uint32_t(rate), int(bits));
    if (!problem.empty()) {
        close(file.fd);
        std::fprintf(stderr, "kirake-sfx: %s: the game would not play the result: %s\n", in, problem.c_str());
        return 1;
    }
    size_t clipped = 0;
    std::vector<uint8_t> data;
    data.reserve(size_t(bytes));
    int read = ConvertWav(reader, layout, uint32_t(rate), [&](const float* samples, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            double s = samples[i];
            if (s > 1.0 || s < -1.0) ++clipped;
            double v = std::clamp(s, -1.0, 1.0);
            if (bits == 8)
                data.push_back(uint8_t(std::clamp(std::lround(v * 127.0) + 128, 0L, 255L)));
            else
                PutLe(data, uint32_t(int16_t(std::clamp(std::lround(v * 32767.0), -32768L, 32767L))) & 0xFFFF, 2);
        }
    });
    close(file.fd);
    if (!read) {
        std::fprintf(stderr, "kirake-sfx: %s: cannot be read (changed while it was read?)\n", in);
        return 1;
    }
    if (!WriteFileBytes(out, MakeWav58(1, uint32_t(rate), int(bits), data))) {
        std::fprintf(stderr, "kirake-sfx: cannot write %s\n", out);
        return 1;
    }
    if (clipped)
        std::fprintf(stderr, "kirake-sfx: %s: %zu samples above full scale were clipped; lower its level\n", in,
                     clipped);
    std::printf("%s: %u-bit %s at %u Hz, %.3f s -> %s: %ld-bit mono at %ld Hz, %llu samples\n", in, layout.bits,
                layout.channels == 1 ? "mono" : "stereo", layout.rate, double(layout.frames) / layout.rate, out,
                bits, rate, (unsigned long long)frames);
    return 0;
}

}  // namespace

static const char help[] =
    "Usage: kirake-sfx import IN.wav OUT.wav [--rate HZ] [--bits 8|16]\n"
    "  or:  kirake-sfx OUTDIR [NAME.wav...]\n"
    "Turns a WAV file into a sound effect the game plays, or synthesises the game's eight effects.\n"
    "\n"
    "import reads any PCM WAV file (8, 16, 24 or 32 bits, mono or stereo, 1000 to 192000 Hz, its chunks in\n"
    "any order, also WAVE_FORMAT_EXTENSIBLE) and writes OUT.wav in the game's layout: a 58-byte head\n"
    "(an 18-byte \"fmt \" chunk and a 4-byte \"fact\" chunk before \"data\"), the channels mixed to mono and\n"
    "resampled to 22050 Hz by the game's mixer's own filter. Name OUT.wav after the effect it replaces\n"
    "(End.wav, Crash.wav, Houtyo.wav, Han.wav, mag.wav, messg.wav, hako3.wav, punch3.wav). Compressed and\n"
    "floating-point files are refused with the reason; convert them to PCM first. IN.wav is read only when\n"
    "it is a regular file of at most 256 MiB. An effect the game would not play (more than 16 MiB of\n"
    "samples, or 32 MiB at the device's 48000 Hz: about 175 s at --rate 48000, 350 s at 22050 Hz) is\n"
    "refused by the file's head, before a sample is read.\n"
    "\n"
    "Without import, writes the eight default effects (or only those named) into OUTDIR.\n"
    "\n"
    "Options:\n"
    "      --rate HZ  the rate of the effect written by import, 8000 to 48000 (22050)\n"
    "      --bits N   its sample size, 8 or 16 (16)\n"
    KIRAKE_TOOL_HELP_OPTIONS
    "\n"
    "Exit status: 0 on success, 1 when a file is refused or cannot be written, 2 on a bad command line.\n";

static int SfxMain(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "import") == 0) return Import(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: kirake-sfx OUTDIR [NAME.wav...]\n%s", USAGE_IMPORT);
        return 2;
    }
    std::string dir = argv[1];
    int written = 0;
    for (const Effect& effect : EFFECTS) {
        bool wanted = argc == 2;
        for (int i = 2; i < argc; ++i) wanted |= std::strcmp(argv[i], effect.name) == 0;
        if (!wanted) continue;
        std::vector<uint8_t> wav = MakeWav58(1, uint32_t(RATE), 16, Pack(effect.make(), 0.85));
        std::string path = dir + "/" + effect.name;
        if (!WriteFileBytes(path.c_str(), wav)) {
            std::fprintf(stderr, "kirake-sfx: cannot write %s\n", path.c_str());
            return 1;
        }
        ++written;
    }
    if (written != (argc == 2 ? 8 : argc - 2)) {
        std::fprintf(stderr, "kirake-sfx: unknown effect name\n");
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "kirake-sfx", help)) return 0;
    return GuardToolMain("kirake-sfx", [&] { return SfxMain(argc, argv); });
}
