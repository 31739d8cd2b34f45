// The one text drawing core: fonts kept once made, drawing contexts on surfaces, and glyphs painted in
// one palette index, the entry of the surface's own colour table nearest to the text colour. The
// glyphs come from the running backend's text source (platform/glyphs.h).
#include "platform/text.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/glyphs.h"

namespace {
constexpr int FIRST_GLYPH = 0x20, LAST_GLYPH = 0x7E;
constexpr int GLYPH_COUNT = LAST_GLYPH - FIRST_GLYPH + 1;
}  // namespace

struct Font {
    std::string name;
    int height = 0, weight = 0, pitchAndFamily = 0;
    const TextSource* source = nullptr;
    void* handle = nullptr;  // the source's font; null when it has none
    int cellHeight = 0;
    bool ready[GLYPH_COUNT] = {};
    Glyph glyphs[GLYPH_COUNT];
    std::map<uint32_t, Glyph> wideGlyphs;  // characters beyond ASCII (UTF-8 stories), once asked for
};

struct DrawContext {
    Surface* surface;
    uint8_t* pixels;
    int pitch, width, height;
    Font* font;
    uint32_t textColour;
    int textIndex;        // -1 until worked out for textColour
    int backgroundIndex;  // -1 until worked out (white)
    bool transparent;
    PaletteEntry table[256];
};

namespace {

// Every font asked for so far, those the source could not give included (asked once).
std::vector<std::unique_ptr<Font>> fonts;

const Glyph& GlyphOf(Font* font, int byte) {
    int at = byte - FIRST_GLYPH;
    if (!font->ready[at]) {
        font->ready[at] = true;
        font->source->drawGlyph(font->handle, uint32_t(byte), &font->glyphs[at]);
    }
    return font->glyphs[at];
}

const Glyph& WideGlyphOf(Font* font, uint32_t codePoint) {
    auto found = font->wideGlyphs.find(codePoint);
    if (found != font->wideGlyphs.end()) return found->second;
    Glyph& glyph = font->wideGlyphs[codePoint];
    font->source->drawGlyph(font->handle, codePoint, &glyph);
    return glyph;
}

// The lowest index among the entries nearest to the colour (squared distance in RGB).
int SearchNearestIndex(const PaletteEntry table[256], uint32_t colour) {
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

// Every typed character opens its drawing contexts anew with the same table and the same two colours
// (text and shadow): the last answers are kept with the table they were found in.
int NearestIndex(const PaletteEntry table[256], uint32_t colour) {
    struct Answer {
        PaletteEntry table[256];
        uint32_t colour;
        int index = -1;
    };
    thread_local Answer answers[2];
    thread_local int next = 0;
    for (const Answer& answer : answers)
        if (answer.index >= 0 && answer.colour == colour && std::memcmp(answer.table, table, sizeof answer.table) == 0)
            return answer.index;
    Answer& answer = answers[next];
    next ^= 1;
    std::memcpy(answer.table, table, sizeof answer.table);
    answer.colour = colour;
    answer.index = SearchNearestIndex(table, colour);
    return answer.index;
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
    std::string name = faceName ? std::string(faceName, strnlen(faceName, 31)) : std::string();
    const TextSource* source = CurrentTextSource();
    for (auto& font : fonts)
        if (font->source == source && font->name == name && font->height == height && font->weight == weight &&
            font->pitchAndFamily == pitchAndFamily)
            return font->handle ? font.get() : nullptr;
    auto font = std::make_unique<Font>();
    font->name = name;
    font->height = height;
    font->weight = weight;
    font->pitchAndFamily = pitchAndFamily;
    font->source = source;
    font->handle = source ? source->openFont(name.c_str(), height, weight, pitchAndFamily, &font->cellHeight) : nullptr;
    fonts.push_back(std::move(font));
    Font* made = fonts.back().get();
    return made->handle ? made : nullptr;
}

void DeleteTextFont(Font*) {
    // Fonts stay made for the next drawing that asks for the same one.
}

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
    if (!palette || !ReadPaletteEntries(palette, dc->table)) {
        // No colour table of its own: black everywhere but a white last entry.
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

Font* SelectTextFont(DrawContext* context, Font* font) {
    if (!context) return nullptr;
    Font* previous = context->font;
    context->font = font;
    return previous;
}

void SetTextColour(DrawContext* context, uint32_t colour) {
    if (!context) return;
    colour &= 0xFFFFFF;
    if (colour != context->textColour) context->textIndex = -1;
    context->textColour = colour;
}

void SetTransparentBackground(DrawContext* context) {
    if (context) context->transparent = true;
}

void PaintText(DrawContext* context, int x, int y, const char* bytes, int length) {
    if (!context || !context->font || !bytes || length <= 0) return;
    Font* font = context->font;
    if (context->textIndex < 0) context->textIndex = NearestIndex(context->table, context->textColour);
    long long penX = x;
    for (int i = 0; i < length; i++) {
        int byte = static_cast<unsigned char>(bytes[i]);
        if (byte < FIRST_GLYPH || byte > LAST_GLYPH) continue;
        const Glyph& glyph = GlyphOf(font, byte);
        if (!context->transparent) {
            if (context->backgroundIndex < 0) context->backgroundIndex = NearestIndex(context->table, 0xFFFFFF);
            FillCell(context, penX, y, glyph.advance, font->cellHeight, context->backgroundIndex);
        }
        PaintGlyph(context, glyph, penX, y, context->textIndex);
        penX += glyph.advance;
    }
}

int PaintCodePoint(DrawContext* context, int x, int y, uint32_t codePoint) {
    if (!context || !context->font) return 0;
    if (codePoint < 0x80) {
        char byte = char(codePoint);
        PaintText(context, x, y, &byte, 1);
        return TextAdvanceOf(context->font, codePoint);
    }
    Font* font = context->font;
    if (context->textIndex < 0) context->textIndex = NearestIndex(context->table, context->textColour);
    const Glyph& glyph = WideGlyphOf(font, codePoint);
    if (!context->transparent) {
        if (context->backgroundIndex < 0) context->backgroundIndex = NearestIndex(context->table, 0xFFFFFF);
        FillCell(context, x, y, glyph.advance, font->cellHeight, context->backgroundIndex);
    }
    PaintGlyph(context, glyph, x, y, context->textIndex);
    return glyph.advance;
}

int TextAdvanceOf(Font* font, uint32_t codePoint) {
    if (!font) return 0;
    if (codePoint < 0x80)
        return codePoint >= FIRST_GLYPH && codePoint <= LAST_GLYPH ? GlyphOf(font, int(codePoint)).advance : 0;
    return WideGlyphOf(font, codePoint).advance;
}
