// 8-bit Windows BMP pictures (uncompressed or RLE8) with their colour table. Every field is checked
// against the file's size before it is used.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "platform/bitmap.h"
#include "platform/files.h"

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// RLE8 pixel data into a bottom-up picture; false when the stream is broken. Pixels outside the picture
// are dropped: the column stops counting at the right edge and the row above the top one, so no run or
// move can make them overflow.
bool DecodeRle8(const uint8_t* data, size_t size, Bitmap* bitmap, bool bottomUp) {
    const int width = bitmap->width, height = bitmap->height;
    int x = 0, row = 0;
    auto put = [&](uint8_t value) {
        if (x < width) {
            if (row < height) bitmap->pixels[size_t(bottomUp ? height - 1 - row : row) * width + x] = value;
            ++x;
        }
    };
    size_t i = 0;
    while (i + 1 < size) {
        uint8_t count = data[i], value = data[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count && x < width; ++k) put(value);
        } else if (value == 0) {
            x = 0;
            row = std::min(row + 1, height);
        } else if (value == 1) {
            return true;
        } else if (value == 2) {
            if (i + 1 >= size) return false;
            x = std::min(x + data[i], width);
            row = std::min(row + data[i + 1], height);
            i += 2;
        } else {
            if (i + value > size) return false;
            for (int k = 0; k < value; ++k) put(data[i + k]);
            i += value + (value & 1);
        }
    }
    return true;
}
}  // namespace

Bitmap* DecodeBitmap(const uint8_t* bytes, size_t size) {
    if (!bytes || size < 14 + 40 || bytes[0] != 'B' || bytes[1] != 'M') return nullptr;
    uint32_t pixelOffset = Le32(bytes + 10);
    const uint8_t* info = bytes + 14;
    uint32_t infoSize = Le32(info);
    if (infoSize < 40 || 14 + size_t(infoSize) > size) return nullptr;
    int32_t width = int32_t(Le32(info + 4)), height = int32_t(Le32(info + 8));
    uint16_t bits = Le16(info + 14);
    uint32_t compression = Le32(info + 16);
    uint32_t used = Le32(info + 32);
    bool bottomUp = height > 0;
    if (height < 0) height = height == INT32_MIN ? 0 : -height;  // no picture is 2^31 rows high
    if (bits != 8 || width <= 0 || height <= 0 || width > MAX_PICTURE_SIDE || height > MAX_PICTURE_SIDE)
        return nullptr;
    if (compression != 0 && !(compression == 1 && bottomUp)) return nullptr;

    int colours = used == 0 ? 256 : (used > 256 ? 256 : int(used));
    size_t tableStart = 14 + size_t(infoSize);
    if (tableStart + size_t(colours) * 4 > size) colours = int((size - tableStart) / 4);
    if (pixelOffset >= size) return nullptr;

    Bitmap* bitmap = static_cast<Bitmap*>(std::calloc(1, sizeof(Bitmap)));
    if (!bitmap) return nullptr;
    bitmap->width = width;
    bitmap->height = height;
    bitmap->colourCount = colours;
    for (int i = 0; i < colours; ++i) {
        const uint8_t* quad = bytes + tableStart + size_t(i) * 4;
        bitmap->table[i][0] = quad[2];
        bitmap->table[i][1] = quad[1];
        bitmap->table[i][2] = quad[0];
    }
    bitmap->pixels = static_cast<uint8_t*>(std::calloc(size_t(width) * height, 1));
    if (!bitmap->pixels) {
        FreeBitmap(bitmap);
        return nullptr;
    }
    const uint8_t* data = bytes + pixelOffset;
    size_t dataSize = size - pixelOffset;
    if (compression == 1) {
        if (!DecodeRle8(data, dataSize, bitmap, bottomUp)) {
            FreeBitmap(bitmap);
            return nullptr;
        }
        return bitmap;
    }
    size_t stride = (size_t(width) + 3) & ~size_t(3);
    if (stride * (height - 1) + width > dataSize) {
        FreeBitmap(bitmap);
        return nullptr;
    }
    for (int row = 0; row < height; ++row) {
        int y = bottomUp ? height - 1 - row : row;
        std::memcpy(bitmap->pixels + size_t(y) * width, data + stride * row, size_t(width));
    }
    return bitmap;
}

Bitmap* LoadBitmapFile(const char* name) {
    FILE* file = OpenDataFile(name, "rb");
    if (!file) return nullptr;
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > MAX_PICTURE_FILE_BYTES) {  // larger than any picture that can be loaded
            std::fclose(file);
            return nullptr;
        }
    }
    std::fclose(file);
    return DecodeBitmap(bytes.data(), bytes.size());
}

Bitmap* LoadBitmapResource(const char*) { return nullptr; }

void FreeBitmap(Bitmap* bitmap) {
    if (!bitmap) return;
    std::free(bitmap->pixels);
    std::free(bitmap);
}
