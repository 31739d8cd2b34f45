// Reading an ordinary PCM WAV file (as sound editors and converters write it) and turning it into a mono
// sound at another rate, for the game's 58-byte WAV layout.
#pragma once
#include <cstdint>
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

// A band-limited resampling (windowed sinc, cut below the lower of the two Nyquist frequencies).
std::vector<double> Resample(const std::vector<double>& in, uint32_t fromRate, uint32_t toRate);
