// WAV recording: a plain 44-byte RIFF head, fixed when the file is closed (headless recording, the
// browser's, the song player).
#include <cstdio>
#include <cstring>
#include <vector>
#include "platform/core/sound_mixer.h"

struct WavRecorder {
    FILE* file;
    uint64_t dataBytes;
    bool failed;
};

namespace {
void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void PutU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void WavHead(uint8_t head[44], uint32_t dataBytes) {
    std::memcpy(head, "RIFF", 4);
    PutU32(head + 4, 36 + dataBytes);
    std::memcpy(head + 8, "WAVEfmt ", 8);
    PutU32(head + 16, 16);
    PutU16(head + 20, 1);
    PutU16(head + 22, 2);
    PutU32(head + 24, 44100);
    PutU32(head + 28, 44100 * 4);
    PutU16(head + 32, 4);
    PutU16(head + 34, 16);
    std::memcpy(head + 36, "data", 4);
    PutU32(head + 40, dataBytes);
}
}  // namespace

WavRecorder* WavRecorderOpen(const char* path) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return nullptr;
    uint8_t head[44];
    WavHead(head, 0);
    WavRecorder* r = new WavRecorder{f, 0, std::fwrite(head, 1, 44, f) != 44};
    return r;
}

void WavRecorderWrite(WavRecorder* r, const int16_t* frames, int count) {
    if (!r || count <= 0) return;
    std::vector<uint8_t> bytes(size_t(count) * 4);
    for (size_t i = 0; i < size_t(count) * 2; ++i) PutU16(&bytes[2 * i], uint16_t(frames[i]));
    if (std::fwrite(bytes.data(), 1, bytes.size(), r->file) != bytes.size()) r->failed = true;
    r->dataBytes += bytes.size();
}

int WavRecorderClose(WavRecorder* r) {
    if (!r) return 0;
    uint8_t head[44];
    uint32_t dataBytes = r->dataBytes > 0xFFFFFFD0u ? 0xFFFFFFD0u : uint32_t(r->dataBytes);
    WavHead(head, dataBytes);
    bool ok = !r->failed && std::fseek(r->file, 0, SEEK_SET) == 0 && std::fwrite(head, 1, 44, r->file) == 44;
    ok = (std::fclose(r->file) == 0) && ok;
    delete r;
    return ok ? 1 : 0;
}
