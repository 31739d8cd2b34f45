// Picture files: fuzzed bytes decoded as a BMP from memory, every pixel and colour the decoder claims
// read back. The same files loaded into sheets and drawn are the sheet harness's.
#include "platform/bitmap.h"
#include "support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes = ExpandInput(data, size);
    Bitmap* bitmap = DecodeBitmap(bytes.data(), bytes.size());
    if (!bitmap) return 0;
    uint32_t sum = 0;  // every pixel and table entry the decoder claims must be there
    const size_t pixels = size_t(bitmap->width) * size_t(bitmap->height);
    for (size_t i = 0; i < pixels; i += 61) sum += bitmap->pixels[i];
    if (pixels) sum += bitmap->pixels[pixels - 1];
    for (int i = 0; i < bitmap->colourCount; ++i) sum += bitmap->table[i][0] + bitmap->table[i][2];
    if (sum == 0xFFFFFFFFu) __builtin_trap();  // never: keeps the reads
    FreeBitmap(bitmap);
    return 0;
}
