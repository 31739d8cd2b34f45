// kirake-glyphs OUT HEIGHT...: draws the printable ASCII glyphs (0x20-0x7E) of the game's face at each
// height with the program's own text code, and writes them as a glyph file for builds without FreeType.
//
// Each glyph is measured by drawing it: its ink on a clear surface, its advance and the cell height from
// the background cell that an opaque drawing fills (with the ink painted in the surface's own colour so
// that only the cell shows). The file (all numbers little-endian):
//   "KGLY" u16 version (1) u16 fonts
//   per font: u8 name length, name bytes (as the program stores them), i16 height, i16 weight,
//             u8 pitch-and-family, u16 cell height, then 95 glyphs:
//             i16 advance, i16 left, i16 top (ink offset from the pen, top from the cell top),
//             u16 width, u16 height, ceil(width*height/8) bytes of ink bits, row by row, high bit first.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "platform/display.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "text/text.h"
#include "tool_help.h"

namespace {
constexpr int SIZE = 512, PEN = 128;
constexpr int CLEAR = 2, INK = 1;  // table: 0 black, 1 white, the rest grey

struct Out {
    std::vector<uint8_t> bytes;
    void u8(int v) { bytes.push_back(uint8_t(v)); }
    void u16(int v) { u8(v & 0xFF); u8((v >> 8) & 0xFF); }
};

void Draw(Surface* surface, Font* font, uint8_t byte, uint32_t colour, bool transparent) {
    int pitch = 0;
    uint8_t* pixels = LockSurface(surface, &pitch);
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x) pixels[y * pitch + x] = CLEAR;
    UnlockSurface(surface);
    DrawContext* dc = GetSurfaceDC(surface);
    SelectTextFont(dc, font);
    SetTextColour(dc, colour);
    if (transparent) SetTransparentBackground(dc);
    char text = char(byte);
    PaintText(dc, PEN, PEN, &text, 1);
    ReleaseSurfaceDC(surface, dc);
}

// The bounding box of the pixels equal to `index`; false when there are none.
bool Box(Surface* surface, int index, int* left, int* top, int* right, int* bottom) {
    int pitch = 0;
    const uint8_t* pixels = LockSurface(surface, &pitch);
    *left = *top = SIZE;
    *right = *bottom = -1;
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x)
            if (pixels[y * pitch + x] == index) {
                if (x < *left) *left = x;
                if (x > *right) *right = x;
                if (y < *top) *top = y;
                if (y > *bottom) *bottom = y;
            }
    UnlockSurface(surface);
    return *right >= 0;
}
}  // namespace

const char help[] =
    "Usage: kirake-glyphs OUT HEIGHT...\n"
    "Draws the printable ASCII glyphs of the game's face at each HEIGHT with the game's own text code and\n"
    "writes them to OUT, the glyph file of the browser build (which has no FreeType).\n"
    "\n"
    "Options:\n"
    KIRAKE_TOOL_HELP_OPTIONS;

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "kirake-glyphs", help)) return 0;
    if (argc < 3) {
        std::fprintf(stderr, "usage: kirake-glyphs OUT HEIGHT...\n");
        return 2;
    }
    PlatformOptions options;
    options.headless = true;
    std::string error;
    if (!PlatformStart(options, &error) || !DisplayCreate() || !DisplaySetCooperativeLevel(1) ||
        !DisplaySetMode(640, 480, 8)) {
        std::fprintf(stderr, "kirake-glyphs: no display: %s\n", error.c_str());
        return 1;
    }
    Surface* surface = CreateSurface(SIZE, SIZE);
    PaletteEntry table[256];
    for (auto& entry : table) entry = {128, 128, 128, 0};
    table[0] = {0, 0, 0, 0};
    table[INK] = {255, 255, 255, 0};
    AttachPalette(surface, CreateSurfacePalette(table));

    // Without the face the desktop has no text either: the file then holds only the fonts that were found.
    std::vector<Font*> fonts;
    std::vector<int> heights;
    for (int a = 2; a < argc; ++a) {
        int height = std::atoi(argv[a]);
        Font* font = CreateTextFont(GAME_FACE, height, TEXT_WEIGHT, TEXT_PITCH_AND_FAMILY);
        if (!font) {
            std::fprintf(stderr, "kirake-glyphs: warning: no font for the game's face at height %d; the web build draws no text at it\n", height);
            continue;
        }
        fonts.push_back(font);
        heights.push_back(height);
    }
    Out out;
    for (char c : std::string("KGLY")) out.u8(c);
    out.u16(1);
    out.u16(int(fonts.size()));
    for (size_t n = 0; n < fonts.size(); ++n) {
        Font* font = fonts[n];
        int height = heights[n];
        std::string name(GAME_FACE);
        out.u8(int(name.size()));
        for (char c : name) out.u8(c);
        out.u16(height);
        out.u16(TEXT_WEIGHT);
        out.u8(TEXT_PITCH_AND_FAMILY);
        // The cell: an opaque space fills advance x cell height with the background (white: index 1).
        int l, t, r, b;
        Draw(surface, font, ' ', 0x808080, false);
        int cellHeight = Box(surface, INK, &l, &t, &r, &b) ? b - PEN + 1 : height;
        out.u16(cellHeight);
        for (int byte = 0x20; byte <= 0x7E; ++byte) {
            // Advance: the width of the opaque cell, the ink drawn in the clear colour.
            Draw(surface, font, uint8_t(byte), 0x808080, false);
            int advance = Box(surface, INK, &l, &t, &r, &b) ? r - PEN + 1 : 0;
            // Ink: white on the clear surface.
            Draw(surface, font, uint8_t(byte), 0xFFFFFF, true);
            int width = 0, rows = 0, left = 0, top = 0;
            if (Box(surface, INK, &l, &t, &r, &b)) {
                left = l - PEN;
                top = t - PEN;
                width = r - l + 1;
                rows = b - t + 1;
            }
            out.u16(advance);
            out.u16(left);
            out.u16(top);
            out.u16(width);
            out.u16(rows);
            int pitch = 0;
            const uint8_t* pixels = LockSurface(surface, &pitch);
            std::vector<uint8_t> bits(size_t(width * rows + 7) / 8, 0);
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < width; ++x)
                    if (pixels[(t + y) * pitch + l + x] == INK) bits[size_t(y * width + x) / 8] |= 0x80 >> ((y * width + x) % 8);
            UnlockSurface(surface);
            out.bytes.insert(out.bytes.end(), bits.begin(), bits.end());
        }
    }
    DisplayRelease();
    PlatformStop();
    FILE* file = std::fopen(argv[1], "wb");
    if (!file || std::fwrite(out.bytes.data(), 1, out.bytes.size(), file) != out.bytes.size() || std::fclose(file) != 0) {
        std::fprintf(stderr, "kirake-glyphs: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
