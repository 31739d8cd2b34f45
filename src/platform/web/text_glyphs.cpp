// Text drawing from a glyph file, for builds without FreeType (the web and Windows builds: a file in the
// page's file system, or embedded in the executable as resource "glyphs" of type "KFNT"). It holds the
// printable ASCII glyphs of the fonts the game uses, drawn beforehand by the FreeType text code
// (tools/glyphs), so the pictures are the same pixel for pixel. A font the file does not hold cannot be
// had (null), as when no face is found.
#if defined(__EMSCRIPTEN__) || defined(_WIN32)
#include "platform/text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/resources.h"

namespace {

constexpr int FIRST_GLYPH = 0x20, LAST_GLYPH = 0x7E;
constexpr int GLYPH_COUNT = LAST_GLYPH - FIRST_GLYPH + 1;
constexpr int MAX_FONTS = 64, MAX_GLYPH_SIDE = 1024;
const char GLYPH_FILE[] = "/kirake/glyphs.kfnt";

struct Glyph {
    int advance = 0, left = 0, top = 0, width = 0, height = 0;  // left, top: ink offset from the pen and cell top
    std::vector<uint8_t> ink;                                  // width * height, 1 = painted
};

}  // namespace

struct Font {
    std::string name;
    int height = 0, weight = 0, pitchAndFamily = 0;
    int cellHeight = 0;
    Glyph glyphs[GLYPH_COUNT];
};

struct DrawContext {
    Surface* surface;
    uint8_t* pixels;
    int pitch, width, height;
    Font* font;
    uint32_t textColour;
    int textIndex;
    int backgroundIndex;
    bool transparent;
    PaletteEntry table[256];
};

namespace {

struct GlyphFile {
    bool loaded = false;
    std::vector<std::unique_ptr<Font>> fonts;
};
GlyphFile glyphFile;

// Reads the file with every length checked; a damaged file gives the fonts read before the damage.
struct Reader {
    const std::vector<uint8_t>& bytes;
    size_t at = 0;
    bool ok = true;
    int u8() {
        if (at + 1 > bytes.size()) return ok = false, 0;
        return bytes[at++];
    }
    int u16() { int low = u8(); return low | u8() << 8; }
    int i16() { return int16_t(uint16_t(u16())); }
};

void LoadGlyphFile() {
    glyphFile.loaded = true;
    std::vector<uint8_t> bytes;
    uint32_t embeddedSize = 0;
    if (const uint8_t* embedded = FindResource("glyphs", "KFNT", &embeddedSize)) {
        bytes.assign(embedded, embedded + embeddedSize);
    } else if (FILE* file = std::fopen(GLYPH_FILE, "rb")) {
        uint8_t block[4096];
        for (size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) bytes.insert(bytes.end(), block, block + n);
        std::fclose(file);
    }
    Reader in{bytes};
    if (bytes.size() < 8 || std::memcmp(bytes.data(), "KGLY", 4) != 0) {
        std::fprintf(stderr, "text: no glyph file %s: text is not drawn\n", GLYPH_FILE);
        return;
    }
    in.at = 4;
    int version = in.u16(), count = in.u16();
    if (version != 1 || count > MAX_FONTS) return;
    for (int f = 0; f < count && in.ok; ++f) {
        auto font = std::make_unique<Font>();
        int length = in.u8();
        for (int i = 0; i < length; ++i) font->name += char(in.u8());
        font->height = in.i16();
        font->weight = in.i16();
        font->pitchAndFamily = in.u8();
        font->cellHeight = in.u16();
        for (Glyph& glyph : font->glyphs) {
            glyph.advance = in.i16();
            glyph.left = in.i16();
            glyph.top = in.i16();
            glyph.width = in.u16();
            glyph.height = in.u16();
            if (glyph.width > MAX_GLYPH_SIDE || glyph.height > MAX_GLYPH_SIDE) in.ok = false;
            if (!in.ok) break;
            size_t cells = size_t(glyph.width) * glyph.height;
            if (in.at + (cells + 7) / 8 > bytes.size()) {
                in.ok = false;
                break;
            }
            glyph.ink.resize(cells);
            for (size_t i = 0; i < cells; ++i) glyph.ink[i] = (bytes[in.at + i / 8] >> (7 - i % 8)) & 1;
            in.at += (cells + 7) / 8;
        }
        if (in.ok) glyphFile.fonts.push_back(std::move(font));
    }
    if (!in.ok) std::fprintf(stderr, "text: the glyph file %s is damaged\n", GLYPH_FILE);
}

// The lowest index among the entries nearest to the colour (squared distance in RGB).
int NearestIndex(const PaletteEntry table[256], uint32_t colour) {
    int red = colour & 0xFF, green = (colour >> 8) & 0xFF, blue = (colour >> 16) & 0xFF;
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < 256; i++) {
        int dr = table[i].red - red, dg = table[i].green - green, db = table[i].blue - blue;
        int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
            if (distance == 0) break;
        }
    }
    return best;
}

void PaintGlyph(DrawContext* dc, const Glyph& glyph, long long penX, long long cellTop, int index) {
    long long x0 = penX + glyph.left, y0 = cellTop + glyph.top;
    int colStart = int(std::clamp<long long>(-x0, 0, glyph.width));
    int colEnd = int(std::clamp<long long>(dc->width - x0, 0, glyph.width));
    int rowStart = int(std::clamp<long long>(-y0, 0, glyph.height));
    int rowEnd = int(std::clamp<long long>(dc->height - y0, 0, glyph.height));
    for (int row = rowStart; row < rowEnd; row++) {
        const uint8_t* ink = glyph.ink.data() + size_t(row) * glyph.width;
        uint8_t* out = dc->pixels + (y0 + row) * dc->pitch + x0;
        for (int col = colStart; col < colEnd; col++)
            if (ink[col]) out[col] = uint8_t(index);
    }
}

void FillCell(DrawContext* dc, long long x, long long y, int width, int height, int index) {
    long long left = std::max<long long>(x, 0), right = std::min<long long>(x + width, dc->width);
    long long top = std::max<long long>(y, 0), bottom = std::min<long long>(y + height, dc->height);
    for (long long row = top; row < bottom; row++)
        if (left < right) std::memset(dc->pixels + row * dc->pitch + left, index, size_t(right - left));
}

}  // namespace

Font* CreateTextFont(const char* faceName, int height, int weight, int pitchAndFamily) {
    if (!glyphFile.loaded) LoadGlyphFile();
    std::string name = faceName ? std::string(faceName, strnlen(faceName, 31)) : std::string();
    for (auto& font : glyphFile.fonts)
        if (font->name == name && font->height == height && font->weight == weight &&
            font->pitchAndFamily == pitchAndFamily)
            return font.get();
    if (CurrentOptions().verbose) std::fprintf(stderr, "text: no glyphs for height %d weight %d\n", height, weight);
    return nullptr;
}

void DeleteTextFont(Font*) {}

DrawContext* GetSurfaceDC(Surface* surface) {
    if (!surface) return nullptr;
    int pitch = 0;
    uint8_t* pixels = LockSurface(surface, &pitch);
    if (!pixels) return nullptr;
    DrawContext* dc = new DrawContext;
    dc->surface = surface;
    dc->pixels = pixels;
    dc->pitch = pitch;
    dc->width = SurfaceWidth(surface);
    dc->height = SurfaceHeight(surface);
    dc->font = nullptr;
    dc->textColour = 0;
    dc->textIndex = -1;
    dc->backgroundIndex = -1;
    dc->transparent = false;
    Palette* palette = SurfacePalette(surface);
    if (!palette || !GetPaletteEntries(palette, dc->table)) {
        std::memset(dc->table, 0, sizeof dc->table);
        dc->table[255] = {255, 255, 255, 0};
    }
    return dc;
}

void ReleaseSurfaceDC(Surface*, DrawContext* context) {
    if (!context) return;
    UnlockSurface(context->surface);
    delete context;
}

Font* SelectFont(DrawContext* context, Font* font) {
    if (!context) return nullptr;
    Font* previous = context->font;
    context->font = font;
    return previous;
}

void SetTextColor(DrawContext* context, uint32_t colour) {
    if (!context) return;
    colour &= 0xFFFFFF;
    if (colour != context->textColour) context->textIndex = -1;
    context->textColour = colour;
}

void SetTransparentBackground(DrawContext* context) {
    if (context) context->transparent = true;
}

void TextOut(DrawContext* context, int x, int y, const char* bytes, int length) {
    if (!context || !context->font || !bytes || length <= 0) return;
    Font* font = context->font;
    if (context->textIndex < 0) context->textIndex = NearestIndex(context->table, context->textColour);
    long long penX = x;
    for (int i = 0; i < length; i++) {
        int byte = static_cast<unsigned char>(bytes[i]);
        if (byte < FIRST_GLYPH || byte > LAST_GLYPH) continue;
        const Glyph& glyph = font->glyphs[byte - FIRST_GLYPH];
        if (!context->transparent) {
            if (context->backgroundIndex < 0) context->backgroundIndex = NearestIndex(context->table, 0xFFFFFF);
            FillCell(context, penX, y, glyph.advance, font->cellHeight, context->backgroundIndex);
        }
        PaintGlyph(context, glyph, penX, y, context->textIndex);
        penX += glyph.advance;
    }
}
#endif
