// Reading ordinary PCM WAV files and resampling them; see wav_import.h.
#include "wav_import.h"
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr double PI = 3.14159265358979323846;

uint32_t Le(const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint32_t(p[i]) << (8 * i);
    return v;
}

// The tail of the PCM sub-format GUID of WAVE_FORMAT_EXTENSIBLE (after its first two bytes, 01 00).
const uint8_t PCM_GUID_TAIL[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                   0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

const char* FormatName(uint32_t tag) {
    switch (tag) {
    case 2: return "ADPCM";
    case 3: return "32-bit floating point";
    case 6: return "A-law";
    case 7: return "mu-law";
    case 0x11: return "IMA ADPCM";
    case 0x55: return "MP3";
    default: return nullptr;
    }
}

double BesselI0(double x) {  // the zeroth modified Bessel function, by its series
    double sum = 1, term = 1;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
        if (term < sum * 1e-12) break;
    }
    return sum;
}

// Where a WAV image's "fmt " and "data" chunks are.
struct WavChunks {
    const uint8_t* fmt = nullptr;
    size_t fmtSize = 0, dataAt = 0, dataSize = 0;
    bool haveData = false;
};

// The RIFF head and the chunks, in any order. 1, or 0 with *why; a data chunk cut short is noted.
int FindWavChunks(const std::vector<uint8_t>& b, WavChunks* c, PcmSound* sound, std::string* why) {
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) {
        if (b.size() >= 4 && std::memcmp(b.data(), "RF64", 4) == 0)
            *why = "an RF64 file (a WAV over 4 GB); write an ordinary WAV";
        else
            *why = "not a WAV file (no \"RIFF\" ... \"WAVE\" at its start)";
        return 0;
    }
    for (size_t at = 12; at + 8 <= b.size();) {
        size_t size = Le(&b[at + 4], 4), body = at + 8;
        size_t room = b.size() - body;
        if (std::memcmp(&b[at], "fmt ", 4) == 0 && !c->fmt) {
            if (size > room) break;
            c->fmt = &b[body];
            c->fmtSize = size;
        } else if (std::memcmp(&b[at], "data", 4) == 0 && !c->haveData) {
            c->haveData = true;
            c->dataAt = body;
            c->dataSize = size;
            if (size > room) {  // written to a pipe, or cut short: take what is there
                sound->notes.push_back("the data chunk claims " + std::to_string(size) + " bytes, the file holds " +
                                       std::to_string(room) + "; taking those");
                c->dataSize = room;
                break;
            }
        }
        if (size > room) break;
        at = body + size + (size & 1);
    }
    if (!c->fmt) {
        *why = "no \"fmt \" chunk: the file does not say how its sound is stored";
        return 0;
    }
    if (c->fmtSize < 16) {
        *why = "its \"fmt \" chunk is " + std::to_string(c->fmtSize) + " bytes; at least 16 are needed";
        return 0;
    }
    if (!c->haveData) {
        *why = "no \"data\" chunk: the file holds no sound";
        return 0;
    }
    return 1;
}

// How the samples are stored: `container` bits a sample, of which `bits` hold the sound.
struct WavFormat {
    uint32_t channels = 0, rate = 0, align = 0, bits = 0, container = 0;
};

// The "fmt " chunk: integer PCM (plain or extensible) of a kind that can be taken. 1, or 0 with *why.
int ReadWavFormat(const WavChunks& c, WavFormat* f, std::string* why) {
    const uint8_t* fmt = c.fmt;
    uint32_t tag = Le(fmt, 2);
    f->channels = Le(fmt + 2, 2);
    f->rate = Le(fmt + 4, 4);
    f->align = Le(fmt + 12, 2);
    f->bits = f->container = Le(fmt + 14, 2);
    if (tag == 0xFFFE) {
        if (c.fmtSize < 40 || Le(fmt + 16, 2) < 22) {
            *why = "an extensible format whose \"fmt \" chunk is cut short";
            return 0;
        }
        uint32_t valid = Le(fmt + 18, 2);
        uint32_t sub = Le(fmt + 24, 2);
        if (std::memcmp(fmt + 26, PCM_GUID_TAIL, 14) != 0 || sub != 1) {
            const char* name = std::memcmp(fmt + 26, PCM_GUID_TAIL, 14) == 0 ? FormatName(sub) : nullptr;
            *why = std::string("an extensible format with a sub-format other than integer PCM") +
                   (name ? std::string(" (") + name + ")" : "") + "; convert it to 16-bit PCM first";
            return 0;
        }
        if (valid) f->bits = valid;
    } else if (tag != 1) {
        const char* name = FormatName(tag);
        *why = std::string("stored as ") + (name ? name : "format " + std::to_string(tag)) +
               ", not integer PCM; convert it to 16-bit PCM first (for example: sox IN.wav -b 16 -e signed OUT.wav)";
        return 0;
    }
    if (f->channels != 1 && f->channels != 2) {
        *why = std::to_string(f->channels) + " channels; mono or stereo can be taken";
        return 0;
    }
    if (f->container != 8 && f->container != 16 && f->container != 24 && f->container != 32) {
        *why = std::to_string(f->container) + "-bit samples; 8, 16, 24 or 32 bits can be taken";
        return 0;
    }
    if (f->bits == 0 || f->bits > f->container) f->bits = f->container;
    if (f->align != f->channels * f->container / 8) {
        *why = "a block of " + std::to_string(f->align) + " bytes does not fit " + std::to_string(f->channels) +
               " channels of " + std::to_string(f->container) + " bits";
        return 0;
    }
    if (f->rate < 1000 || f->rate > 192000) {
        *why = "a rate of " + std::to_string(f->rate) + " Hz; 1000 to 192000 Hz can be taken";
        return 0;
    }
    return 1;
}

// The frames of the data chunk, their channels averaged, into sound->mono.
void DecodeWavSamples(const std::vector<uint8_t>& b, const WavChunks& c, const WavFormat& f, size_t frames,
                      PcmSound* sound) {
    sound->mono.resize(frames);
    int bytes = int(f.container / 8);
    double scale = 1.0 / double(uint64_t(1) << (f.container - 1));
    for (size_t i = 0; i < frames; ++i) {
        double sum = 0;
        for (uint32_t ch = 0; ch < f.channels; ++ch) {
            const uint8_t* p = &b[c.dataAt + i * f.align + ch * size_t(bytes)];
            int64_t v;
            if (f.container == 8) {
                v = int64_t(p[0]) - 128;  // 8-bit WAV samples are unsigned
            } else {
                uint32_t u = Le(p, bytes);
                v = int64_t(u) - ((u >> (f.container - 1)) & 1 ? int64_t(1) << f.container : 0);
            }
            sum += double(v) * scale;
        }
        sound->mono[i] = sum / f.channels;
    }
}

}  // namespace

int ReadPcmWav(const std::vector<uint8_t>& b, PcmSound* sound, std::string* why) {
    *sound = PcmSound{};
    WavChunks chunks;
    WavFormat format;
    if (!FindWavChunks(b, &chunks, sound, why) || !ReadWavFormat(chunks, &format, why)) return 0;
    size_t frames = chunks.dataSize / format.align;
    if (frames == 0) {
        *why = "its data chunk holds no sound";
        return 0;
    }
    sound->rate = format.rate;
    sound->channels = int(format.channels);
    sound->bits = int(format.bits);
    DecodeWavSamples(b, chunks, format, frames, sound);
    return 1;
}

std::vector<double> Resample(const std::vector<double>& in, uint32_t fromRate, uint32_t toRate) {
    if (fromRate == toRate || in.empty()) return in;
    const double step = double(fromRate) / double(toRate);  // input samples per output sample
    // The cut-off, in cycles per input sample: a little below the lower Nyquist frequency, so that the
    // transition band of the window lies under it.
    const double cutoff = 0.5 * std::min(1.0, 1.0 / step) * 0.92;
    const double zeroCrossings = 24, beta = 9.0;
    const double half = zeroCrossings / (2 * cutoff);  // half the kernel, in input samples
    const double i0Beta = BesselI0(beta);
    size_t outCount = size_t(std::ceil(double(in.size()) / step));
    std::vector<double> out(outCount);
    for (size_t n = 0; n < outCount; ++n) {
        double centre = double(n) * step;
        long first = long(std::ceil(centre - half)), last = long(std::floor(centre + half));
        double sum = 0;
        for (long k = std::max(0L, first); k <= last && k < long(in.size()); ++k) {
            double x = double(k) - centre;
            double r = x / half;
            double window = BesselI0(beta * std::sqrt(std::max(0.0, 1 - r * r))) / i0Beta;
            double arg = 2 * cutoff * x;
            double sinc = std::fabs(arg) < 1e-12 ? 1.0 : std::sin(PI * arg) / (PI * arg);
            sum += in[size_t(k)] * 2 * cutoff * sinc * window;
        }
        out[n] = sum;
    }
    return out;
}
