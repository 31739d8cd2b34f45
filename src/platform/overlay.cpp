// The overlay line: drawn into a copy of the page with two palette entries of its own, so neither the
// page nor the display palette is touched.
#include <cstring>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/overlay.h"
#include "platform/text.h"

namespace {
constexpr int WIDTH = 640, HEIGHT = 480, BAND = 22;
constexpr PaletteEntry BAND_COLOUR = {150, 0, 0, 0}, TEXT_COLOUR = {255, 255, 255, 0};

struct OverlayRecord {
    std::string text;
    std::vector<uint8_t> mask;  // WIDTH x BAND, 1 = text; empty until drawn
};
OverlayRecord overlay;

// Draws the text once, white on black, on a scratch surface of the display device.
void DrawMask() {
    overlay.mask.assign(size_t(WIDTH) * BAND, 0);
    Surface* scratch = CreateSurface(WIDTH, BAND);
    if (!scratch) return;
    Font* font = CreateTextFont("sans-serif", 16, 700, 0);
    DrawContext* dc = GetSurfaceDC(scratch);
    SelectTextFont(dc, font);
    SetTransparentBackground(dc);
    SetTextColour(dc, 0xFFFFFF);
    PaintText(dc, 6, 3, overlay.text.c_str(), int(overlay.text.size()));
    ReleaseSurfaceDC(scratch, dc);
    DeleteTextFont(font);
    int pitch = 0;
    if (const uint8_t* pixels = LockSurface(scratch, &pitch)) {
        for (int y = 0; y < BAND; ++y)
            for (int x = 0; x < WIDTH; ++x) overlay.mask[size_t(y) * WIDTH + x] = pixels[y * pitch + x] != 0;
        UnlockSurface(scratch);
    }
    ReleaseSurface(scratch);
}

int Distance(const PaletteEntry& a, const PaletteEntry& b) {
    int r = a.red - b.red, g = a.green - b.green, bl = a.blue - b.blue;
    return r * r + g * g + bl * bl;
}
}  // namespace

void ShowOverlayLine(const char* text) {
    std::string line = text ? text : "";
    if (line == overlay.text) return;
    overlay.text = line;
    overlay.mask.clear();
}

int ComposeOverlay(const uint8_t* page, int pitch, const PaletteEntry* palette, uint8_t* outPage,
                   PaletteEntry* outPalette) {
    if (overlay.text.empty() || !page) return 0;
    if (overlay.mask.empty()) DrawMask();
    for (int i = 0; i < 256; ++i) outPalette[i] = palette ? palette[i] : PaletteEntry{0, 0, 0, 0};
    for (int y = 0; y < HEIGHT; ++y) std::memcpy(outPage + size_t(y) * WIDTH, page + size_t(y) * pitch, WIDTH);
    // Two entries for the band: the least used below it; pixels below that use them take the nearest
    // colour among the others.
    long counts[256] = {};
    for (size_t i = size_t(BAND) * WIDTH; i < size_t(WIDTH) * HEIGHT; ++i) counts[outPage[i]]++;
    int chosen[2] = {-1, -1};
    for (int pick = 0; pick < 2; ++pick)
        for (int i = 255; i >= 0; --i)
            if (i != chosen[0] && (chosen[pick] < 0 || counts[i] < counts[chosen[pick]])) chosen[pick] = i;
    uint8_t remap[256];
    for (int i = 0; i < 256; ++i) remap[i] = uint8_t(i);
    for (int c : chosen) {
        if (!counts[c]) continue;
        int best = -1;
        for (int i = 0; i < 256; ++i)
            if (i != chosen[0] && i != chosen[1] &&
                (best < 0 || Distance(outPalette[i], outPalette[c]) < Distance(outPalette[best], outPalette[c])))
                best = i;
        remap[c] = uint8_t(best);
    }
    if (counts[chosen[0]] || counts[chosen[1]])
        for (size_t i = size_t(BAND) * WIDTH; i < size_t(WIDTH) * HEIGHT; ++i) outPage[i] = remap[outPage[i]];
    outPalette[chosen[0]] = BAND_COLOUR;
    outPalette[chosen[1]] = TEXT_COLOUR;
    for (size_t i = 0; i < size_t(WIDTH) * BAND; ++i) outPage[i] = uint8_t(overlay.mask[i] ? chosen[1] : chosen[0]);
    return 1;
}
