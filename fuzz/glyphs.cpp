// Glyph files: fuzzed bytes read as the builds without FreeType read their glyph files; what reads whole
// is written again and must read back the same.
#include "platform/core/glyph_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<GlyphFileFont> fonts;
    if (!ReadGlyphFile(data, size, &fonts)) return 0;
    std::vector<uint8_t> written = WriteGlyphFile(fonts);
    std::vector<GlyphFileFont> again;
    if (!ReadGlyphFile(written.data(), written.size(), &again) || again.size() != fonts.size()) __builtin_trap();
    for (size_t f = 0; f < fonts.size(); ++f) {
        const GlyphFileFont &a = fonts[f], &b = again[f];
        if (a.name != b.name || a.height != b.height || a.cellHeight != b.cellHeight ||
            a.glyphs.size() != b.glyphs.size())
            __builtin_trap();
        for (auto i = a.glyphs.begin(), j = b.glyphs.begin(); i != a.glyphs.end(); ++i, ++j)
            if (i->first != j->first || i->second.advance != j->second.advance || i->second.ink != j->second.ink)
                __builtin_trap();
    }
    return 0;
}
