// Writing sounds in the game's fixed WAV layout: a 58-byte head (RIFF, an 18-byte "fmt " chunk, a 4-byte
// "fact" chunk holding the sample count, then "data"), PCM samples from byte 58, an odd data length
// padded with one byte.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

inline void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// The bytes of a WAV image: channels, rate, bits per sample (8 or 16), and the raw sample bytes.
inline std::vector<uint8_t> MakeWav58(int channels, uint32_t rate, int bits, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    uint32_t blockAlign = uint32_t(channels * bits / 8);
    uint32_t padded = uint32_t(data.size() + (data.size() & 1));
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    PutLe(out, 50 + padded, 4);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(out, 18, 4);
    PutLe(out, 1, 2);  // PCM
    PutLe(out, uint32_t(channels), 2);
    PutLe(out, rate, 4);
    PutLe(out, rate * blockAlign, 4);
    PutLe(out, blockAlign, 2);
    PutLe(out, uint32_t(bits), 2);
    PutLe(out, 0, 2);
    out.insert(out.end(), {'f', 'a', 'c', 't'});
    PutLe(out, 4, 4);
    PutLe(out, uint32_t(data.size() / (blockAlign ? blockAlign : 1)), 4);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    PutLe(out, uint32_t(data.size()), 4);
    out.insert(out.end(), data.begin(), data.end());
    if (data.size() & 1) out.push_back(0);
    return out;
}

inline bool WriteFileBytes(const char* path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
