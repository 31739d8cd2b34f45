// Writing sounds in the game's fixed WAV layout: a 58-byte head (RIFF, an 18-byte "fmt " chunk, a 4-byte
// "fact" chunk holding the sample count, then "data"), PCM samples from byte 58, an odd data length
// padded with one byte.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

inline void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// The bytes of a WAV image: channels, rate, bits per sample (8 or 16), and the raw sample bytes. The head
// is written at its fixed places, the samples after it.
inline std::vector<uint8_t> MakeWav58(int channels, uint32_t rate, int bits, const std::vector<uint8_t>& data) {
    uint32_t blockAlign = uint32_t(channels * bits / 8);
    uint32_t padded = uint32_t(data.size() + (data.size() & 1));
    std::vector<uint8_t> out(58 + size_t(padded), 0);
    auto put = [&](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out[at + size_t(i)] = uint8_t(value >> (8 * i));
    };
    auto tag = [&](size_t at, const char (&text)[5]) { std::copy(text, text + 4, out.begin() + long(at)); };
    tag(0, "RIFF");
    put(4, 50 + padded, 4);
    tag(8, "WAVE");
    tag(12, "fmt ");
    put(16, 18, 4);
    put(20, 1, 2);  // PCM
    put(22, uint32_t(channels), 2);
    put(24, rate, 4);
    put(28, rate * blockAlign, 4);
    put(32, blockAlign, 2);
    put(34, uint32_t(bits), 2);
    put(36, 0, 2);
    tag(38, "fact");
    put(42, 4, 4);
    put(46, uint32_t(data.size() / (blockAlign ? blockAlign : 1)), 4);
    tag(50, "data");
    put(54, uint32_t(data.size()), 4);
    std::copy(data.begin(), data.end(), out.begin() + 58);  // an odd length is padded with the 0 after it
    return out;
}

inline bool WriteFileBytes(const char* path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
