// Reading an ordinary PCM WAV file (as sound editors and converters write it) and turning it into a mono
// sound at another rate, for the game's 58-byte WAV layout.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct PcmSound {
    uint32_t rate = 0;
    int channels = 0, bits = 0;     // as read from the file
    std::vector<double> mono;       // the channels averaged, in [-1, 1)
    std::vector<std::string> notes; // what was read leniently (a data length past the end, ...)
};

// Reads a RIFF WAVE image: chunks in any order, PCM (format 1 or WAVE_FORMAT_EXTENSIBLE with the PCM
// sub-format), 8, 16, 24 or 32 bits, 1 or 2 channels, 1000 to 192000 Hz. 1 on success; 0 with *why.
int ReadPcmWav(const std::vector<uint8_t>& bytes, PcmSound* sound, std::string* why);

// A band-limited resampling: the mixer's own resampler (the game plays the result through it too).
std::vector<double> Resample(const std::vector<double>& in, uint32_t fromRate, uint32_t toRate);

// The same for a file read piece by piece, so that what would be refused is refused by its head, before
// a sample is read, and a long file never sits in memory whole.
// Bytes [at, at + count) of the image into `to`; false when they cannot be read.
using WavReader = std::function<bool(uint64_t at, uint8_t* to, size_t count)>;
// What the head says: how the sound is stored, where and how many frames.
struct WavLayout {
    uint32_t rate = 0, channels = 0, bits = 0, container = 0, align = 0;
    uint64_t dataAt = 0, frames = 0;
    std::vector<std::string> notes;
};
// The layout of an image of `size` bytes; 1, or 0 with *why (the same reasons as ReadPcmWav).
int ReadWavLayout(const WavReader& read, uint64_t size, WavLayout* layout, std::string* why);
// How many frames `frames` become from one rate to another.
uint64_t ResampledFrames(uint64_t frames, uint32_t fromRate, uint32_t toRate);
// Why the game would not play the layout's sound made mono at toRate of `bits` (8 or 16) bits, judged by
// the head alone; "" when it would play it.
std::string ImportProblem(const WavLayout& layout, uint32_t toRate, int bits);
// The layout's frames, their channels averaged and resampled to toRate, given to `take` a block at a
// time (ResampledFrames of them in all). 1, or 0 when the image cannot be read.
int ConvertWav(const WavReader& read, const WavLayout& layout, uint32_t toRate,
               const std::function<void(const float* mono, size_t count)>& take);
