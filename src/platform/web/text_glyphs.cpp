// The text source of the builds without FreeType (the browser, Windows): glyphs read from a glyph file,
// in the page's file system or embedded in the executable (resource "glyphs" of type "KFNT"). The file
// holds the printable ASCII glyphs of the fonts the game uses, drawn beforehand by the desktop's text
// source (tools/glyphs), so the pictures are the same pixel for pixel. A font the file does not hold
// cannot be had (null), as when no face is found.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/glyphs.h"
#include "platform/resources.h"

namespace {

constexpr int FIRST_GLYPH = 0x20, LAST_GLYPH = 0x7E;
constexpr int GLYPH_COUNT = LAST_GLYPH - FIRST_GLYPH + 1;
constexpr int MAX_FONTS = 64, MAX_GLYPH_SIDE = 1024;
const char GLYPH_FILE[] = "/kirake/glyphs.kfnt";

struct GlyphFont {
    std::string name;
    int height = 0, weight = 0, pitchAndFamily = 0;
    int cellHeight = 0;
    Glyph glyphs[GLYPH_COUNT];
};

struct GlyphFile {
    bool loaded = false;
    std::vector<std::unique_ptr<GlyphFont>> fonts;
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
    if (const uint8_t* embedded = FindEmbeddedResource("glyphs", "KFNT", &embeddedSize)) {
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
        auto font = std::make_unique<GlyphFont>();
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

void* OpenFont(const char* faceName, int height, int weight, int pitchAndFamily, int* cellHeight) {
    if (!glyphFile.loaded) LoadGlyphFile();
    for (auto& font : glyphFile.fonts)
        if (font->name == faceName && font->height == height && font->weight == weight &&
            font->pitchAndFamily == pitchAndFamily) {
            *cellHeight = font->cellHeight;
            return font.get();
        }
    if (CurrentOptions().verbose) std::fprintf(stderr, "text: no glyphs for height %d weight %d\n", height, weight);
    return nullptr;
}

void DrawGlyph(void* handle, uint32_t character, Glyph* glyph) {
    if (character >= FIRST_GLYPH && character <= LAST_GLYPH)
        *glyph = static_cast<GlyphFont*>(handle)->glyphs[character - FIRST_GLYPH];
}

}  // namespace

const TextSource glyphFileText = {.openFont = OpenFont, .drawGlyph = DrawGlyph};
