// Writing RGB pictures as PNG files (frame captures).
#include <zlib.h>
#include <cstdio>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"

namespace {
void PutBe32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    PutBe32(out, uint32_t(data.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0, out.data() + start, uInt(out.size() - start));
    PutBe32(out, uint32_t(crc));
}
}  // namespace

int WritePngZlib(const char* path, const uint8_t* rgb, int width, int height) {
    std::vector<uint8_t> raw;
    raw.reserve(size_t(height) * (size_t(width) * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // no filter
        raw.insert(raw.end(), rgb + size_t(y) * width * 3, rgb + size_t(y + 1) * width * 3);
    }
    uLongf packedSize = compressBound(uLong(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 6) != Z_OK) return 0;
    packed.resize(packedSize);

    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBe32(header, uint32_t(width));
    PutBe32(header, uint32_t(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    PutChunk(out, "IHDR", header);
    PutChunk(out, "IDAT", packed);
    PutChunk(out, "IEND", {});
    FILE* file = std::fopen(path, "wb");
    if (!file) return 0;
    bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return (std::fclose(file) == 0 && ok) ? 1 : 0;
}
