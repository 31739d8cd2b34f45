// Reading ordinary PCM WAV files and resampling them; see wav_import.h.
#include "wav_import.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include "platform/core/sound_mixer.h"
#include "platform/sound.h"

namespace {
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

// Where a WAV image's "fmt " and "data" chunks are: the first 40 bytes of "fmt " (all that is read of it).
struct WavChunks {
    uint8_t fmt[40] = {};
    size_t fmtSize = 0;
    uint64_t dataAt = 0, dataSize = 0;
    bool haveFmt = false, haveData = false;
};

// The RIFF head and the chunks, in any order. 1, or 0 with *why; a data chunk cut short is noted.
int FindWavChunks(const WavReader& read, uint64_t size, WavChunks* c, WavLayout* layout, std::string* why) {
    uint8_t head[12];
    if (size < 12 || !read(0, head, 12) || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) {
        if (size >= 4 && read(0, head, 4) && std::memcmp(head, "RF64", 4) == 0)
            *why = "an RF64 file (a WAV over 4 GB); write an ordinary WAV";
        else
            *why = "not a WAV file (no \"RIFF\" ... \"WAVE\" at its start)";
        return 0;
    }
    for (uint64_t at = 12; at + 8 <= size;) {
        uint8_t chunk[8];
        if (!read(at, chunk, 8)) break;
        uint64_t length = Le(chunk + 4, 4), body = at + 8;
        uint64_t room = size - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && !c->haveFmt) {
            if (length > room) break;
            c->haveFmt = read(body, c->fmt, size_t(std::min<uint64_t>(length, sizeof c->fmt)));
            c->fmtSize = size_t(length);
        } else if (std::memcmp(chunk, "data", 4) == 0 && !c->haveData) {
            c->haveData = true;
            c->dataAt = body;
            c->dataSize = length;
            if (length > room) {  // written to a pipe, or cut short: take what is there
                layout->notes.push_back("the data chunk claims " + std::to_string(length) + " bytes, the file holds " +
                                        std::to_string(room) + "; taking those");
                c->dataSize = room;
                break;
            }
        }
        if (length > room) break;
        at = body + length + (length & 1);
    }
    if (!c->haveFmt) {
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

// The "fmt " chunk: integer PCM (plain or extensible) of a kind that can be taken. 1, or 0 with *why.
int ReadWavFormat(const WavChunks& c, WavLayout* f, std::string* why) {
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

// `count` frames of the data from p, their channels averaged.
template <class Sample>
void DecodeFrames(const uint8_t* p, const WavLayout& f, size_t count, Sample* mono) {
    int bytes = int(f.container / 8);
    double scale = 1.0 / double(uint64_t(1) << (f.container - 1));
    for (size_t i = 0; i < count; ++i, p += f.align) {
        double sum = 0;
        for (uint32_t ch = 0; ch < f.channels; ++ch) {
            int64_t v;
            if (f.container == 8) {
                v = int64_t(p[ch]) - 128;  // 8-bit WAV samples are unsigned
            } else {
                uint32_t u = Le(p + ch * size_t(bytes), bytes);
                v = int64_t(u) - ((u >> (f.container - 1)) & 1 ? int64_t(1) << f.container : 0);
            }
            sum += double(v) * scale;
        }
        mono[i] = Sample(sum / f.channels);
    }
}

// The longest sound, in frames at `rate` of `bits`, that the game plays as an effect.
uint64_t LongestEffect(uint32_t rate, int bits) {
    SoundFormat format = {1, 1, rate, rate * uint32_t(bits / 8), uint16_t(bits / 8), uint16_t(bits), 0};
    uint64_t frames = MAX_SOUND_BYTES / uint32_t(bits / 8);
    frames = std::min<uint64_t>(frames, MAX_CONVERTED_SOUND_BYTES / 2 * rate / DEVICE_RATE_ASKED + 1);
    while (frames > 0 && SoundBufferProblem(&format, uint32_t(frames * uint32_t(bits / 8)), DEVICE_RATE_ASKED)) --frames;
    return frames;
}

WavReader FromMemory(const std::vector<uint8_t>& b) {
    return [&b](uint64_t at, uint8_t* to, size_t count) {
        if (at > b.size() || count > b.size() - at) return false;
        std::memcpy(to, b.data() + at, count);
        return true;
    };
}

// Resamples `frames` source frames, made by `source` a block at a time, with the mixer's resampler, and
// gives the output to `take` a block at a time. The resampler reads interleaved stereo: both sides carry
// the sound. Its output frame k stands for source frame whole + taps / 2 - 1: the source is led by that
// many silent frames, so that output frame 0 stands for source frame 0, and followed by silence.
int ResampleStream(uint64_t frames, uint32_t from, uint32_t to, const std::function<bool(float*, size_t)>& source,
                   const std::function<void(const float*, size_t)>& take) {
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    constexpr size_t BLOCK = 8192;
#else  // fuzzers: short sounds cross the blocks' edges
    constexpr size_t BLOCK = 256;
#endif
    std::vector<float> mono;
    if (from == to) {
        for (uint64_t done = 0; done < frames;) {
            size_t n = size_t(std::min<uint64_t>(BLOCK, frames - done));
            mono.resize(n);
            if (!source(mono.data(), n)) return 0;
            take(mono.data(), n);
            done += n;
        }
        return 1;
    }
    std::shared_ptr<const Resampler> rs = ResamplerFor(int(from), int(to));  // one import after another: made once
    const uint64_t lead = uint64_t(ResamplerTaps(rs.get()) / 2 - 1), outCount = ResampledFrames(frames, from, to);
    std::vector<float> window;  // stereo frames of the led source from `base` on
    std::vector<float> left(BLOCK), right(BLOCK);
    uint64_t base = 0, made = 0, whole = 0;
    uint32_t remainder = 0;
    for (uint64_t done = 0; done < outCount;) {
        int n = int(std::min<uint64_t>(BLOCK, outCount - done));
        uint64_t end = whole + ResamplerSourceNeeded(rs.get(), remainder, n);
        window.erase(window.begin(), window.begin() + ptrdiff_t(2 * (whole - base)));  // passed for good
        base = whole;
        while (made < end) {
            uint64_t k = end - made;
            bool sound = made >= lead && made - lead < frames;
            if (made < lead) k = std::min(k, lead - made);
            if (sound) k = std::min<uint64_t>({k, frames - (made - lead), BLOCK * 4});
            mono.assign(size_t(k), 0.0f);
            if (sound && !source(mono.data(), mono.size())) return 0;
            for (float s : mono) {
                window.push_back(s);
                window.push_back(s);
            }
            made += k;
        }
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        uint64_t at = 0;
        ResamplerRun(rs.get(), window.data(), &at, &remainder, left.data(), right.data(), n);
        whole = base + at;
        take(left.data(), size_t(n));
        done += uint64_t(n);
    }
    return 1;
}

}  // namespace

int ReadWavLayout(const WavReader& read, uint64_t size, WavLayout* layout, std::string* why) {
    *layout = WavLayout{};
    WavChunks chunks;
    if (!FindWavChunks(read, size, &chunks, layout, why) || !ReadWavFormat(chunks, layout, why)) return 0;
    layout->dataAt = chunks.dataAt;
    layout->frames = chunks.dataSize / layout->align;
    if (layout->frames == 0) {
        *why = "its data chunk holds no sound";
        return 0;
    }
    return 1;
}

uint64_t ResampledFrames(uint64_t frames, uint32_t fromRate, uint32_t toRate) {
    if (fromRate == toRate || fromRate == 0) return frames;
    return (frames * toRate + fromRate - 1) / fromRate;  // frames below 2^32, rates below 2^18
}

std::string ImportProblem(const WavLayout& layout, uint32_t toRate, int bits) {
    uint64_t bytes = ResampledFrames(layout.frames, layout.rate, toRate) * uint64_t(bits / 8);
    SoundFormat format = {1, 1, toRate, toRate * uint32_t(bits / 8), uint16_t(bits / 8), uint16_t(bits), 0};
    const char* problem = bytes > MAX_SOUND_BYTES ? "more than 16 MiB of samples"
                                                  : SoundBufferProblem(&format, uint32_t(bytes), DEVICE_RATE_ASKED);
    if (!problem || bytes < MIN_SOUND_BYTES) return problem ? problem : "";
    char longest[200];
    std::snprintf(longest, sizeof longest,
                  " (%.1f s; an effect of %d-bit samples at %u Hz lasts at most %.1f s: shorten the sound%s)",
                  double(layout.frames) / layout.rate, bits, toRate,
                  double(LongestEffect(toRate, bits)) / double(toRate),
                  toRate > 22050 || bits == 16 ? ", or take a lower --rate or --bits 8" : "");
    return problem + std::string(longest);
}

int ConvertWav(const WavReader& read, const WavLayout& layout, uint32_t toRate,
               const std::function<void(const float*, size_t)>& take) {
    uint64_t next = 0;
    std::vector<uint8_t> raw;
    auto source = [&](float* mono, size_t count) {
        raw.resize(count * layout.align);
        if (!read(layout.dataAt + next * layout.align, raw.data(), raw.size())) return false;
        DecodeFrames(raw.data(), layout, count, mono);
        next += count;
        return true;
    };
    return ResampleStream(layout.frames, layout.rate, toRate, source, take);
}

int ReadPcmWav(const std::vector<uint8_t>& b, PcmSound* sound, std::string* why) {
    *sound = PcmSound{};
    WavLayout layout;
    int ok = ReadWavLayout(FromMemory(b), b.size(), &layout, why);
    sound->notes = layout.notes;
    if (!ok) return 0;
    sound->rate = layout.rate;
    sound->channels = int(layout.channels);
    sound->bits = int(layout.bits);
    sound->mono.resize(size_t(layout.frames));
    DecodeFrames(b.data() + layout.dataAt, layout, sound->mono.size(), sound->mono.data());
    return 1;
}

std::vector<double> Resample(const std::vector<double>& in, uint32_t fromRate, uint32_t toRate) {
    if (fromRate == toRate || in.empty()) return in;
    std::vector<double> out;
    out.reserve(size_t(ResampledFrames(in.size(), fromRate, toRate)));
    size_t next = 0;
    ResampleStream(
        in.size(), fromRate, toRate,
        [&](float* mono, size_t count) {
            for (size_t i = 0; i < count; ++i) mono[i] = float(in[next++]);
            return true;
        },
        [&](const float* mono, size_t count) { out.insert(out.end(), mono, mono + count); });
    return out;
}
