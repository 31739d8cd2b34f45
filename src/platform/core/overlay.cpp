// The overlay line: drawn into a copy of the page with two palette entries of its own, so neither the
// page nor the display palette is touched.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/overlay.h"
#include "platform/text.h"

namespace {
constexpr int WIDTH = 640, HEIGHT = 480, LINE = 20, MAX_LINES = 6, MARGIN = 6;
constexpr PaletteEntry BAND_COLOUR = {150, 0, 0, 0}, TEXT_COLOUR = {255, 255, 255, 0};

struct OverlayRecord {
    std::string text;
    int band;                   // rows of the band: LINE per line and a little margin
    std::vector<uint8_t> mask;  // WIDTH x band, 1 = text; empty until drawn
};
OverlayRecord overlay;

// Draws `text` white on black at (MARGIN, y) of the scratch surface (cleared first when asked); the
// rightmost column inked, or -1.
int DrawLine(Surface* scratch, int scratchWidth, int y, const std::string& text, bool clear) {
    int pitch = 0;
    if (clear)
        if (uint8_t* pixels = LockSurface(scratch, &pitch)) {
            for (int row = 0; row < LINE + 4; ++row) std::memset(pixels + size_t(row) * pitch, 0, size_t(scratchWidth));
            UnlockSurface(scratch);
        }
    Font* font = CreateTextFont("sans-serif", 16, 700, 0);
    DrawContext* dc = GetSurfaceDC(scratch);
    SelectTextFont(dc, font);
    SetTransparentBackground(dc);
    SetTextColour(dc, 0xFFFFFF);
    PaintText(dc, MARGIN, y, text.c_str(), int(text.size()));
    ReleaseSurfaceDC(scratch, dc);
    DeleteTextFont(font);
    int right = -1;
    if (const uint8_t* pixels = LockSurface(scratch, &pitch)) {
        for (int row = 0; row < LINE + 4; ++row)
            for (int x = scratchWidth - 1; x > right; --x)
                if (pixels[size_t(row) * pitch + x]) right = x;
        UnlockSurface(scratch);
    }
    return right;
}

// The text broken into lines at spaces so that each fits the width (a word longer than a line is cut).
std::vector<std::string> WrapText(Surface* scratch, int scratchWidth) {
    std::vector<std::string> lines;
    std::string rest = overlay.text;
    while (!rest.empty() && int(lines.size()) < MAX_LINES) {
        size_t take = rest.size();
        while (take > 1 && DrawLine(scratch, scratchWidth, 2, rest.substr(0, take), true) >= WIDTH - MARGIN) {
            size_t space = rest.rfind(' ', take - 1);
            take = space != std::string::npos && space > 0 ? space : take - 1;
            while (take > 1 && (uint8_t(rest[take]) & 0xC0) == 0x80) --take;  // not inside a character
        }
        lines.push_back(rest.substr(0, take));
        rest.erase(0, take);
        while (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    }
    return lines;
}

// Draws the text once, white on black, on a scratch surface of the display device.
void DrawMask() {
    constexpr int SCRATCH_WIDTH = 2 * WIDTH;
    Surface* measure = CreateSurface(SCRATCH_WIDTH, LINE + 4);
    std::vector<std::string> lines;
    if (measure) lines = WrapText(measure, SCRATCH_WIDTH);
    if (measure) ReleaseSurface(measure);
    overlay.band = int(std::max<size_t>(1, lines.size())) * LINE + 2;
    overlay.mask.assign(size_t(WIDTH) * overlay.band, 0);
    Surface* scratch = CreateSurface(WIDTH, overlay.band);
    if (!scratch) return;
    for (size_t i = 0; i < lines.size(); ++i) DrawLine(scratch, 0, 3 + LINE * int(i), lines[i], false);
    int pitch = 0;
    if (const uint8_t* pixels = LockSurface(scratch, &pitch)) {
        for (int y = 0; y < overlay.band; ++y)
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
    const int BAND = overlay.band;
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
