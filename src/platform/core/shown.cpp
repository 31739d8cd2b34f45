// What the backend showed last, so that it can skip uploading and redrawing a page and palette that are
// the same again: at a text wait or a still scene most frames look just like the one before.
#include <cstddef>
#include <cstring>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"

namespace {
constexpr int PAGE_WIDTH = 640, PAGE_HEIGHT = 480;

struct ShownRecord {
    bool valid;
    bool hasPalette;
    PaletteEntry palette[256];
    std::vector<uint8_t> page;  // PAGE_WIDTH x PAGE_HEIGHT
};
ShownRecord shown;
}  // namespace

int SameAsShown(const uint8_t* pixels, int pitch, const PaletteEntry* palette) {
    bool same = shown.valid && shown.hasPalette == (palette != nullptr) &&
                (!palette || std::memcmp(shown.palette, palette, sizeof shown.palette) == 0);
    shown.page.resize(size_t(PAGE_WIDTH) * PAGE_HEIGHT);
    for (int y = 0; y < PAGE_HEIGHT; ++y) {
        uint8_t* kept = shown.page.data() + size_t(y) * PAGE_WIDTH;
        const uint8_t* row = pixels + ptrdiff_t(y) * pitch;
        if (same && std::memcmp(kept, row, PAGE_WIDTH) == 0) continue;
        same = false;
        std::memcpy(kept, row, PAGE_WIDTH);
    }
    shown.hasPalette = palette != nullptr;
    if (palette) std::memcpy(shown.palette, palette, sizeof shown.palette);
    shown.valid = true;
    return same ? 1 : 0;
}

void ForgetShown() { shown.valid = false; }
