// Text drawing on 8-bit surfaces with FreeType, fonts found through fontconfig.
//
// A font is a face file at one cell height. Glyphs are rendered in monochrome (no anti-aliasing) and
// painted in one palette index: the entry of the surface's own colour table nearest to the text colour.
// Fonts are kept once made, keyed by face name, height, weight and pitch-and-family, so the many
// one-character drawings of the message window do not reopen the face file each time.
#include "platform/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H

#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"

namespace {

constexpr int FIRST_GLYPH = 0x20, LAST_GLYPH = 0x7E;
constexpr int GLYPH_COUNT = LAST_GLYPH - FIRST_GLYPH + 1;
constexpr int MAX_HEIGHT = 512;  // larger requests are drawn at this size
constexpr int DEFAULT_HEIGHT = 16;
constexpr int WEIGHT_BOLD = 600;  // from here on the face is drawn emboldened

struct Glyph {
    bool ready = false;
    int left = 0, top = 0;          // offset of the bitmap from the pen on the baseline (top: upwards)
    int width = 0, height = 0;
    int advance = 0;                // pixels
    std::vector<uint8_t> ink;       // width * height, 1 = painted
};

// A face file found for a face name.
struct FaceChoice {
    std::string name;    // the face name as asked for (code page 932 bytes)
    std::string family;  // the family fontconfig gave, "" when nothing was found
    std::string file;
    int index = 0;
};

}  // namespace

struct Font {
    std::string name;
    int height = 0, weight = 0, pitchAndFamily = 0;
    FT_Face face = nullptr;
    int ascent = 0, cellHeight = 0;
    FT_Pos emboldenStrength = 0;  // 26.6; 0 = regular
    Glyph glyphs[GLYPH_COUNT];
};

struct DrawContext {
    Surface* surface;
    uint8_t* pixels;
    int pitch, width, height;
    Font* font;
    uint32_t textColour;
    int textIndex;          // -1 until worked out for textColour
    int backgroundIndex;    // -1 until worked out (white)
    bool transparent;
    PaletteEntry table[256];
};

namespace {

struct TextSystem {
    FT_Library library = nullptr;
    bool libraryFailed = false;
    bool fontconfigReady = false;
    std::vector<FaceChoice> faces;             // every face name mapped so far
    std::vector<std::unique_ptr<Font>> fonts;  // every font made so far
    ~TextSystem() {
        for (auto& font : fonts)
            if (font->face) FT_Done_Face(font->face);
        fonts.clear();
        if (library) FT_Done_FreeType(library);
    }
};
TextSystem textSystem;

// The face name in UTF-8 (names are stored in code page 932); "" when it does not convert.
std::string FaceNameUtf8(const std::string& name) {
    bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return (unsigned char)c < 0x80; });
    if (ascii) return name;
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == (iconv_t)-1) return "";
    std::string out(name.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(name.data());
    size_t inLeft = name.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (r == (size_t)-1) return "";
    out.resize(out.size() - outLeft);
    return out;
}

// Family names compare without regard to ASCII case and spaces, as fontconfig compares them.
bool SameFamily(const char* a, const char* b) {
    for (;;) {
        while (*a == ' ') a++;
        while (*b == ' ') b++;
        if (!*a || !*b) return *a == *b;
        unsigned char ca = static_cast<unsigned char>(*a++), cb = static_cast<unsigned char>(*b++);
        if (ca >= 'A' && ca <= 'Z') ca += 'a' - 'A';
        if (cb >= 'A' && cb <= 'Z') cb += 'a' - 'A';
        if (ca != cb) return false;
    }
}

// Asks fontconfig for a family; with exact set, only a font of that very family will do.
bool MatchFamily(const char* family, bool exact, FaceChoice* choice) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    bool ok = false;
    FcChar8* file = nullptr;
    FcBool outline = FcFalse;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
        (FcPatternGetBool(match, FC_OUTLINE, 0, &outline) != FcResultMatch || outline)) {
        FcChar8* found = nullptr;
        FcChar8* first = nullptr;
        for (int n = 0; FcPatternGetString(match, FC_FAMILY, n, &found) == FcResultMatch; n++) {
            if (!first) first = found;
            if (SameFamily(reinterpret_cast<const char*>(found), family)) {
                ok = true;
                break;
            }
        }
        if (!exact && first) {
            ok = true;
            found = first;
        }
        if (ok) {
            int index = 0;
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            choice->family = exact ? family : reinterpret_cast<const char*>(found);
            choice->file = reinterpret_cast<const char*>(file);
            choice->index = index;
        }
    }
    FcPatternDestroy(match);
    return ok;
}

// The families tried for a face name, best first. The Windows Japanese Gothic faces are stood in for by
// the Japanese Gothic fonts of the system; any other name is asked for as it is.
std::vector<std::string> CandidateFamilies(const std::string& utf8) {
    static const char* const gothic[] = {"ＭＳ ゴシック", "MS Gothic", "ＭＳ Ｐゴシック", "MS PGothic"};
    for (const char* name : gothic)
        if (SameFamily(utf8.c_str(), name))
            return {"IPAGothic", "VL Gothic", "Noto Sans CJK JP", "Noto Sans Mono CJK JP"};
    if (utf8.empty()) return {};
    return {utf8};
}

const FaceChoice& MapFace(const std::string& name) {
    for (const FaceChoice& choice : textSystem.faces)
        if (choice.name == name) return choice;
    FaceChoice choice;
    choice.name = name;
    if (!textSystem.fontconfigReady) textSystem.fontconfigReady = FcInit();
    std::string utf8 = FaceNameUtf8(name);
    if (textSystem.fontconfigReady) {
        bool found = false;
        for (const std::string& family : CandidateFamilies(utf8))
            if ((found = MatchFamily(family.c_str(), true, &choice))) break;
        if (!found) MatchFamily("monospace", false, &choice);
    }
    if (!choice.file.empty()) {
        char* real = realpath(choice.file.c_str(), nullptr);
        if (real) choice.file = real;
        std::free(real);
    }
    if (CurrentOptions().verbose) {
        if (choice.file.empty())
            std::fprintf(stderr, "text: no font found for face \"%s\"\n", utf8.c_str());
        else
            std::fprintf(stderr, "text: face \"%s\" drawn with %s (%s)\n", utf8.c_str(), choice.family.c_str(),
                         choice.file.c_str());
    }
    textSystem.faces.push_back(choice);
    return textSystem.faces.back();
}

bool OpenFace(Font* font) {
    if (!textSystem.library && !textSystem.libraryFailed)
        textSystem.libraryFailed = FT_Init_FreeType(&textSystem.library) != 0;
    if (!textSystem.library) return false;
    const FaceChoice& choice = MapFace(font->name);
    if (choice.file.empty()) return false;
    if (FT_New_Face(textSystem.library, choice.file.c_str(), choice.index, &font->face) != 0) {
        font->face = nullptr;
        return false;
    }
    FT_Select_Charmap(font->face, FT_ENCODING_UNICODE);
    int height = font->height;
    FT_Size_RequestRec request{};
    if (height > 0) {  // cell height: ascent + descent
        request.type = FT_SIZE_REQUEST_TYPE_CELL;
        request.height = std::min(height, MAX_HEIGHT) * 64;
    } else {           // negative: character height (the em); 0: a default size
        request.type = FT_SIZE_REQUEST_TYPE_NOMINAL;
        request.height = (height < 0 ? std::min(-height, MAX_HEIGHT) : DEFAULT_HEIGHT) * 64;
    }
    if (!FT_IS_SCALABLE(font->face) || FT_Request_Size(font->face, &request) != 0) {
        FT_Done_Face(font->face);
        font->face = nullptr;
        return false;
    }
    // The cell is exactly the height asked for; the baseline lies at the rounded ascent.
    const FT_Size_Metrics& metrics = font->face->size->metrics;
    FT_Pos ascent = FT_MulFix(font->face->ascender, metrics.y_scale);
    FT_Pos descent = -FT_MulFix(font->face->descender, metrics.y_scale);
    font->ascent = static_cast<int>((ascent + 32) >> 6);
    font->cellHeight = height > 0 ? static_cast<int>(request.height >> 6)
                                  : static_cast<int>((ascent + descent + 32) >> 6);
    if (font->weight >= WEIGHT_BOLD) {
        // One pixel wider strokes at text sizes, a twenty-fourth of the em above them.
        FT_Pos em = FT_MulFix(font->face->units_per_EM, metrics.y_scale);
        font->emboldenStrength = std::max<FT_Pos>(64, em / 24);
    }
    return true;
}

const Glyph& GetGlyph(Font* font, int byte) {
    Glyph& glyph = font->glyphs[byte - FIRST_GLYPH];
    if (glyph.ready) return glyph;
    glyph.ready = true;
    FT_Face face = font->face;
    FT_UInt index = FT_Get_Char_Index(face, static_cast<FT_ULong>(byte));
    if (index == 0) return glyph;  // not in the font: nothing drawn, no advance
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO) != 0) return glyph;
    FT_GlyphSlot slot = face->glyph;
    FT_Pos advance = slot->advance.x;
    if (font->emboldenStrength && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_Outline_EmboldenXY(&slot->outline, font->emboldenStrength, 0);
        advance += font->emboldenStrength;
    }
    glyph.advance = static_cast<int>((advance + 32) >> 6);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO) return glyph;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.width = static_cast<int>(bitmap.width);
    glyph.height = static_cast<int>(bitmap.rows);
    glyph.ink.assign(static_cast<size_t>(glyph.width) * glyph.height, 0);
    for (int row = 0; row < glyph.height; row++) {
        const uint8_t* bits = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
        for (int col = 0; col < glyph.width; col++)
            glyph.ink[static_cast<size_t>(row) * glyph.width + col] = (bits[col >> 3] >> (7 - (col & 7))) & 1;
    }
    return glyph;
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

void PaintGlyph(DrawContext* dc, const Glyph& glyph, long long penX, long long baseline, int index) {
    long long x0 = penX + glyph.left, y0 = baseline - glyph.top;
    int colStart = static_cast<int>(std::clamp<long long>(-x0, 0, glyph.width));
    int colEnd = static_cast<int>(std::clamp<long long>(dc->width - x0, 0, glyph.width));
    int rowStart = static_cast<int>(std::clamp<long long>(-y0, 0, glyph.height));
    int rowEnd = static_cast<int>(std::clamp<long long>(dc->height - y0, 0, glyph.height));
    for (int row = rowStart; row < rowEnd; row++) {
        const uint8_t* ink = glyph.ink.data() + static_cast<size_t>(row) * glyph.width;
        uint8_t* out = dc->pixels + (y0 + row) * dc->pitch + x0;
        for (int col = colStart; col < colEnd; col++)
            if (ink[col]) out[col] = static_cast<uint8_t>(index);
    }
}

void FillCell(DrawContext* dc, long long x, long long y, int width, int height, int index) {
    long long left = std::max<long long>(x, 0), right = std::min<long long>(x + width, dc->width);
    long long top = std::max<long long>(y, 0), bottom = std::min<long long>(y + height, dc->height);
    for (long long row = top; row < bottom; row++)
        if (left < right) std::memset(dc->pixels + row * dc->pitch + left, index, static_cast<size_t>(right - left));
}

}  // namespace

Font* CreateTextFont(const char* faceName, int height, int weight, int pitchAndFamily) {
    std::string name = faceName ? std::string(faceName, strnlen(faceName, 31)) : std::string();
    for (auto& font : textSystem.fonts)
        if (font->name == name && font->height == height && font->weight == weight &&
            font->pitchAndFamily == pitchAndFamily)
            return font->face ? font.get() : nullptr;
    auto font = std::make_unique<Font>();
    font->name = name;
    font->height = height;
    font->weight = weight;
    font->pitchAndFamily = pitchAndFamily;
    OpenFace(font.get());
    textSystem.fonts.push_back(std::move(font));
    Font* made = textSystem.fonts.back().get();
    return made->face ? made : nullptr;
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
    if (!palette || !GetPaletteEntries(palette, dc->table)) {
        // No colour table of its own: black everywhere but a white last entry.
        std::memset(dc->table, 0, sizeof dc->table);
        dc->table[255] = {255, 255, 255, 0};
    }
    return dc;
}

void ReleaseSurfaceDC(Surface* surface, DrawContext* context) {
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
    long long baseline = static_cast<long long>(y) + font->ascent;
    for (int i = 0; i < length; i++) {
        int byte = static_cast<unsigned char>(bytes[i]);
        if (byte < FIRST_GLYPH || byte > LAST_GLYPH) continue;
        const Glyph& glyph = GetGlyph(font, byte);
        if (!context->transparent) {
            if (context->backgroundIndex < 0) context->backgroundIndex = NearestIndex(context->table, 0xFFFFFF);
            FillCell(context, penX, y, glyph.advance, font->cellHeight, context->backgroundIndex);
        }
        PaintGlyph(context, glyph, penX, baseline, context->textIndex);
        penX += glyph.advance;
    }
}
