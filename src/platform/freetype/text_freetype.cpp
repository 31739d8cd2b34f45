// The desktop's text source: fonts found through fontconfig, glyphs rendered by FreeType in monochrome
// (no anti-aliasing) at one cell height. The drawing itself is the platform's text core (text.cpp).
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
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/glyphs.h"

namespace {

constexpr int MAX_HEIGHT = 512;  // larger requests are drawn at this size
constexpr int DEFAULT_HEIGHT = 16;
constexpr int WEIGHT_BOLD = 600;  // from here on the face is drawn emboldened

// A face file found for a face name.
struct FaceChoice {
    std::string name;    // the face name as asked for (code page 932 bytes)
    std::string family;  // the family fontconfig gave, "" when nothing was found
    std::string file;
    int index = 0;
};

struct FreetypeFont {
    std::string name;
    int height = 0, weight = 0;
    FT_Face face = nullptr;
    int ascent = 0, cellHeight = 0;
    FT_Pos emboldenStrength = 0;  // 26.6; 0 = regular
    std::map<std::string, FT_Face> fallbacks;  // faces fontconfig gave for characters this face lacks
};

struct TextSystem {
    FT_Library library = nullptr;
    bool libraryFailed = false;
    bool fontconfigReady = false;
    std::vector<FaceChoice> faces;                     // every face name mapped so far
    std::vector<std::unique_ptr<FreetypeFont>> fonts;  // every font opened
    ~TextSystem() {
        for (auto& font : fonts) {
            if (font->face) FT_Done_Face(font->face);
            for (auto& [file, face] : font->fallbacks)
                if (face) FT_Done_Face(face);
        }
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

bool OpenFace(FreetypeFont* font) {
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

// A face fontconfig offers for a character beyond ASCII that the font's own face lacks (stories in
// UTF-8), at the font's pixel size; null when no installed font has it.
FT_Face FallbackFace(FreetypeFont* font, uint32_t codePoint) {
    if (!textSystem.fontconfigReady) return nullptr;
    FcPattern* pattern = FcPatternCreate();
    FcCharSet* set = FcCharSetCreate();
    if (!pattern || !set) {
        if (pattern) FcPatternDestroy(pattern);
        if (set) FcCharSetDestroy(set);
        return nullptr;
    }
    FcCharSetAddChar(set, codePoint);
    FcPatternAddCharSet(pattern, FC_CHARSET, set);
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcFontSet* sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
    FcPatternDestroy(pattern);
    FcCharSetDestroy(set);
    if (!sorted) return nullptr;
    std::string path;  // the best font that has the character
    int faceIndex = 0;
    for (int i = 0; i < sorted->nfont && path.empty(); ++i) {
        FcCharSet* has = nullptr;
        FcChar8* file = nullptr;
        if (FcPatternGetCharSet(sorted->fonts[i], FC_CHARSET, 0, &has) != FcResultMatch ||
            !FcCharSetHasChar(has, codePoint) || FcPatternGetString(sorted->fonts[i], FC_FILE, 0, &file) != FcResultMatch)
            continue;
        path = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(sorted->fonts[i], FC_INDEX, 0, &faceIndex);
    }
    FcFontSetDestroy(sorted);
    if (path.empty()) return nullptr;
    std::string key = path + "#" + std::to_string(faceIndex);
    auto known = font->fallbacks.find(key);
    if (known != font->fallbacks.end()) return known->second;
    FT_Face face = nullptr;
    if (FT_New_Face(textSystem.library, path.c_str(), faceIndex, &face) != 0) face = nullptr;
    if (face && (!FT_IS_SCALABLE(face) || FT_Set_Pixel_Sizes(face, 0, font->face->size->metrics.y_ppem) != 0)) {
        FT_Done_Face(face);
        face = nullptr;
    }
    if (face) FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    font->fallbacks[key] = face;
    return face;
}

void DrawGlyph(void* handle, uint32_t character, Glyph* glyph) {
    auto* font = static_cast<FreetypeFont*>(handle);
    FT_Face face = font->face;
    FT_UInt index = FT_Get_Char_Index(face, static_cast<FT_ULong>(character));
    if (index == 0 && character >= 0x80 && (face = FallbackFace(font, character)))
        index = FT_Get_Char_Index(face, static_cast<FT_ULong>(character));
    if (index == 0) return;  // not in the font: nothing drawn, no advance
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO) != 0) return;
    FT_GlyphSlot slot = face->glyph;
    FT_Pos advance = slot->advance.x;
    if (font->emboldenStrength && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_Outline_EmboldenXY(&slot->outline, font->emboldenStrength, 0);
        advance += font->emboldenStrength;
    }
    glyph->advance = static_cast<int>((advance + 32) >> 6);
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return;
    const FT_Bitmap& bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO) return;
    glyph->left = slot->bitmap_left;
    glyph->top = font->ascent - slot->bitmap_top;  // the baseline lies at the ascent
    glyph->width = static_cast<int>(bitmap.width);
    glyph->height = static_cast<int>(bitmap.rows);
    glyph->ink.assign(static_cast<size_t>(glyph->width) * glyph->height, 0);
    for (int row = 0; row < glyph->height; row++) {
        const uint8_t* bits = bitmap.buffer + static_cast<ptrdiff_t>(row) * bitmap.pitch;
        for (int col = 0; col < glyph->width; col++)
            glyph->ink[static_cast<size_t>(row) * glyph->width + col] = (bits[col >> 3] >> (7 - (col & 7))) & 1;
    }
}

void* OpenFont(const char* faceName, int height, int weight, int pitchAndFamily, int* cellHeight) {
    auto font = std::make_unique<FreetypeFont>();
    font->name = faceName;
    font->height = height;
    font->weight = weight;
    if (!OpenFace(font.get())) return nullptr;
    *cellHeight = font->cellHeight;
    textSystem.fonts.push_back(std::move(font));
    return textSystem.fonts.back().get();
}

}  // namespace

const TextSource freetypeText = {.openFont = OpenFont, .drawGlyph = DrawGlyph};
