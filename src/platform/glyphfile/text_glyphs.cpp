// The text source of the builds without FreeType (the browser, Windows): glyphs read from glyph files
// (platform/core/glyph_file.h) drawn beforehand by the desktop's text source (kirake-glyphs), so the pictures
// are the same pixel for pixel. The built-in file, in the page's file system or embedded in the executable
// (resource "glyphs" of type "KFNT"), holds the printable ASCII glyphs of the fonts the game uses. A story
// in UTF-8 brings the glyphs of its other characters in its own data folder (glyphs.kfnt), read when the
// first such character is asked for; it only adds characters the built-in file lacks. A font the built-in
// file does not hold cannot be had (null), as when no face is found; a character no file holds is drawn
// as a font that lacks it draws it (no ink, no advance), with one warning.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/files.h"
#include "platform/core/glyph_file.h"
#include "platform/glyphs.h"
#include "platform/resources.h"

namespace {

const char GLYPH_FILE[] = "/kirake/glyphs.kfnt";

struct GlyphFiles {
    bool loaded = false, storyLoaded = false;
    std::vector<std::unique_ptr<GlyphFileFont>> fonts;
    bool warned = false;
};
GlyphFiles glyphFiles;

// The bytes of a glyph file into *bytes; false (said on standard error) when it cannot be read.
bool ReadGlyphBytes(const std::string& path, const char* what, std::vector<uint8_t>* bytes) {
    std::string read, why;
    if (!ReadRegularFile(path, MAX_GLYPH_FILE_BYTES, &read, &why)) {
        std::fprintf(stderr, "text: cannot read %s %s (%s): its glyphs are not drawn\n", what, path.c_str(), why.c_str());
        return false;
    }
    bytes->assign(read.begin(), read.end());
    return true;
}

void LoadGlyphFile() {
    glyphFiles.loaded = true;
    std::vector<uint8_t> bytes;
    uint32_t embeddedSize = 0;
    if (const uint8_t* embedded = FindEmbeddedResource("glyphs", "KFNT", &embeddedSize))
        bytes.assign(embedded, embedded + embeddedSize);
    else if (!ReadGlyphBytes(GLYPH_FILE, "the glyph file", &bytes))
        return;
    std::vector<GlyphFileFont> fonts;
    if (!ReadGlyphFile(bytes.data(), bytes.size(), &fonts))
        std::fprintf(stderr, "text: the glyph file %s is damaged\n", GLYPH_FILE);
    for (GlyphFileFont& font : fonts) glyphFiles.fonts.push_back(std::make_unique<GlyphFileFont>(std::move(font)));
}

// The story's own glyphs: those beyond ASCII of the fonts the built-in file holds, where it has none.
void LoadStoryGlyphFile() {
    glyphFiles.storyLoaded = true;
    std::string path = FindDataFile(STORY_GLYPH_FILE);
    if (path.empty()) return;
    std::vector<uint8_t> bytes;
    if (!ReadGlyphBytes(path, "the story's glyph file", &bytes)) return;
    std::vector<GlyphFileFont> fonts;
    if (!ReadGlyphFile(bytes.data(), bytes.size(), &fonts))
        std::fprintf(stderr, "text: the story's glyph file %s is damaged\n", path.c_str());
    for (GlyphFileFont& story : fonts)
        for (auto& font : glyphFiles.fonts)
            if (font->name == story.name && font->height == story.height && font->weight == story.weight &&
                font->pitchAndFamily == story.pitchAndFamily)
                for (auto& [codePoint, glyph] : story.glyphs)
                    if (codePoint >= 0x80) font->glyphs.insert({codePoint, std::move(glyph)});
}

void* OpenFont(const char* faceName, int height, int weight, int pitchAndFamily, int* cellHeight) {
    if (!glyphFiles.loaded) LoadGlyphFile();
    for (auto& font : glyphFiles.fonts)
        if (font->name == faceName && font->height == height && font->weight == weight &&
            font->pitchAndFamily == pitchAndFamily) {
            *cellHeight = font->cellHeight;
            return font.get();
        }
    // The platform's own overlays ask for "sans-serif", which no glyph file holds: they get the file's face
    // at the nearest height (the game's story text, in which the history's lines are written).
    GlyphFileFont* nearest = nullptr;
    if (std::string(faceName) == "sans-serif")
        for (auto& font : glyphFiles.fonts)
            if (!nearest || std::abs(font->height - height) < std::abs(nearest->height - height)) nearest = font.get();
    if (nearest) {
        *cellHeight = nearest->cellHeight;
        return nearest;
    }
    if (CurrentOptions().verbose) std::fprintf(stderr, "text: no glyphs for height %d weight %d\n", height, weight);
    return nullptr;
}

// Once: the first character of the story that no glyph file holds, and how to bake the story's glyphs.
void WarnMissing(uint32_t character) {
    if (glyphFiles.warned) return;
    glyphFiles.warned = true;
    char utf8[5] = {};
    if (character < 0x800) {
        utf8[0] = char(0xC0 | character >> 6), utf8[1] = char(0x80 | (character & 0x3F));
    } else if (character < 0x10000) {
        utf8[0] = char(0xE0 | character >> 12), utf8[1] = char(0x80 | ((character >> 6) & 0x3F));
        utf8[2] = char(0x80 | (character & 0x3F));
    } else {
        utf8[0] = char(0xF0 | character >> 18), utf8[1] = char(0x80 | ((character >> 12) & 0x3F));
        utf8[2] = char(0x80 | ((character >> 6) & 0x3F)), utf8[3] = char(0x80 | (character & 0x3F));
    }
    std::fprintf(stderr,
                 "text: the story uses characters that no glyph file holds (the first: U+%04X \"%s\"); they are not "
                 "drawn. Bake them into the data folder with the desktop kit's kirake-glyphs: kirake-glyphs --story DATA DATA/%s\n",
                 unsigned(character), utf8, STORY_GLYPH_FILE);
}

void DrawGlyph(void* handle, uint32_t character, Glyph* glyph) {
    if (character >= 0x80 && !glyphFiles.storyLoaded) LoadStoryGlyphFile();
    auto* font = static_cast<GlyphFileFont*>(handle);
    auto found = font->glyphs.find(character);
    if (found != font->glyphs.end())
        *glyph = found->second;
    else if (character >= 0x80)
        WarnMissing(character);
}

}  // namespace

const TextSource glyphFileText = {.openFont = OpenFont, .drawGlyph = DrawGlyph};
