// kirake-glyphs: draws glyphs of the game's face with the program's own text code (FreeType, and the
// fallback faces fontconfig offers) and writes them as a glyph file (platform/core/glyph_file.h) for the
// builds without FreeType: the printable ASCII glyphs at each height (the built-in file), or, with
// --story, the characters beyond ASCII that a story in UTF-8 uses in any of its languages (the story's
// own file).
//
// Each glyph is measured by drawing it: its ink on a clear surface, its advance as the text code gives
// it, and the cell height from the background cell that an opaque space fills.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>
#include "platform/display.h"
#include "platform/files.h"
#include "platform/core/glyph_file.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "read_input.h"
#include "text/text.h"
#include "tool_help.h"

namespace {
constexpr int SIZE = 512, PEN = 128;
constexpr int CLEAR = 2, INK = 1;  // table: 0 black, 1 white, the rest grey

void Draw(Surface* surface, Font* font, uint32_t codePoint, uint32_t colour, bool transparent) {
    int pitch = 0;
    uint8_t* pixels = LockSurface(surface, &pitch);
    for (int y = 0; y < SIZE; ++y) std::memset(pixels + y * pitch, CLEAR, SIZE);
    UnlockSurface(surface);
    DrawContext* dc = GetSurfaceDC(surface);
    SelectTextFont(dc, font);
    SetTextColour(dc, colour);
    if (transparent) SetTransparentBackground(dc);
    PaintCodePoint(dc, PEN, PEN, codePoint);
    ReleaseSurfaceDC(surface, dc);
}

// The bounding box of the pixels equal to `index`; false when there are none.
bool Box(Surface* surface, int index, int* left, int* top, int* right, int* bottom) {
    int pitch = 0;
    const uint8_t* pixels = LockSurface(surface, &pitch);
    *left = *top = SIZE;
    *right = *bottom = -1;
    for (int y = 0; y < SIZE; ++y) {  // a row at a time: most rows hold none
        const uint8_t* row = pixels + y * pitch;
        const void* first = std::memchr(row, index, SIZE);
        if (!first) continue;
        int x = int(static_cast<const uint8_t*>(first) - row), last = SIZE - 1;
        while (row[last] != index) --last;
        *left = std::min(*left, x);
        *right = std::max(*right, last);
        *top = std::min(*top, y);
        *bottom = y;
    }
    UnlockSurface(surface);
    return *right >= 0;
}

Glyph Measure(Surface* surface, Font* font, uint32_t codePoint) {
    Glyph glyph;
    glyph.advance = TextAdvanceOf(font, codePoint);
    Draw(surface, font, codePoint, 0xFFFFFF, true);  // white ink on the clear surface
    int l, t, r, b;
    if (!Box(surface, INK, &l, &t, &r, &b)) return glyph;
    glyph.left = l - PEN;
    glyph.top = t - PEN;
    glyph.width = r - l + 1;
    glyph.height = b - t + 1;
    int pitch = 0;
    const uint8_t* pixels = LockSurface(surface, &pitch);
    glyph.ink.resize(size_t(glyph.width) * size_t(glyph.height));
    for (int y = 0; y < glyph.height; ++y)
        for (int x = 0; x < glyph.width; ++x)
            glyph.ink[size_t(y * glyph.width + x)] = pixels[(t + y) * pitch + l + x] == INK;
    UnlockSurface(surface);
    return glyph;
}

// The story texts in DATA: a folder's data.txt and its translations (data.LANG.txt, the names the game
// plays), or the one file named.
std::vector<std::string> StoryTexts(const std::string& data) {
    std::error_code error;
    if (!std::filesystem::is_directory(data, error)) return {data};
    std::vector<std::string> texts;
    for (const auto& entry : std::filesystem::directory_iterator(data, error)) {
        std::string name = entry.path().filename().string();
        // "data.LANG.txt": its LANG's own first name, as the game would look for it
        std::vector<std::string> names = name.size() > 9 ? LanguageTextNames(name.substr(5, name.size() - 9))
                                                         : std::vector<std::string>{};
        if (SameNameIgnoringCase(name.c_str(), "data.txt") ||
            (!names.empty() && SameNameIgnoringCase(name.c_str(), names[0].c_str())))
            texts.push_back(entry.path().string());
    }
    std::sort(texts.begin(), texts.end());
    if (texts.empty()) texts.push_back(data + "/data.txt");  // said missing when read
    return texts;
}

// The characters beyond ASCII of the story texts in UTF-8, decoded as the game decodes them (a byte that
// starts no character is stepped over); false with a message when a text cannot be read.
bool StoryCharacters(const std::string& data, std::set<uint32_t>* characters, bool* marked) {
    *marked = false;
    for (const std::string& path : StoryTexts(data)) {
        std::string error;
        std::vector<uint8_t> text;
        if (!ReadInputFile(path, MAX_SCRIPT_BYTES, &text, &error)) {
            std::fprintf(stderr, "kirake-glyphs: %s: %s\n", path.c_str(), error.c_str());
            return false;
        }
        if (!ScriptIsUtf8(text.data(), uint32_t(text.size()))) continue;
        *marked = true;
        for (size_t at = 3; at < text.size(); ++at) {
            uint32_t codePoint = 0;
            int length = text[at] >= 0x80 ? DecodeUtf8(text.data() + at, uint32_t(text.size() - at), &codePoint) : 0;
            if (length > 0) {
                characters->insert(codePoint);
                at += size_t(length - 1);
            }
        }
    }
    return true;
}
}  // namespace

const char help[] =
    "Usage: kirake-glyphs --story DATA OUT [HEIGHT...]\n"
    "  or:  kirake-glyphs OUT HEIGHT...\n"
    "Bakes the glyphs of a story in UTF-8 for the browser and Windows builds, which have no FreeType.\n"
    "\n"
    "Draws glyphs of the game's face with the game's own text code and writes them to OUT, a glyph file.\n"
    "\n"
    "With --story, DATA is a data folder or one story text: for a story in UTF-8 (a text that begins with the\n"
    "byte order mark) it writes every character beyond ASCII the story uses in data.txt and in its\n"
    "translations (data.LANG.txt), at the heights the game draws story text at (20, 21, 24 and 40: the\n"
    "staff roll, the messages, the answers, the roll's closing line) or at each HEIGHT, drawn as the desktop\n"
    "draws them (with the faces fontconfig offers for the characters the game's face lacks). Put OUT in the\n"
    "data folder as glyphs.kfnt: the browser and Windows builds then draw the story's text as the desktop\n"
    "does. A story without the mark, or with only ASCII, needs no such file: nothing is written. Those builds\n"
    "read at most 16 MiB of glyphs: a file that would be larger is refused (some thousand characters at the\n"
    "default heights take well under 1 MiB; each glyph grows with the square of its height).\n"
    "\n"
    "Without --story, writes the printable ASCII glyphs at each HEIGHT: the file built into the browser and\n"
    "Windows builds. A HEIGHT is 1 to 400 pixels; a glyph file holds at most 64 heights.\n"
    "\n"
    "Options:\n"
    "      --story DATA  bake the characters of the story in DATA\n"
    KIRAKE_TOOL_HELP_OPTIONS;

int main(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv, "kirake-glyphs", help)) return 0;
    return GuardToolMain("kirake-glyphs", [&] {
        bool story = argc >= 2 && std::strcmp(argv[1], "--story") == 0;
        if (story ? argc < 4 : argc < 3) {
            std::fprintf(stderr, "usage: kirake-glyphs --story DATA OUT [HEIGHT...]\n"
                                 "   or: kirake-glyphs OUT HEIGHT...\n");
            return 2;
        }
        const char* outPath = argv[story ? 3 : 1];
        std::vector<int> heights;
        for (int a = story ? 4 : 2; a < argc; ++a) {
            char* end = nullptr;
            long height = std::strtol(argv[a], &end, 10);
            if (!*argv[a] || *end || height < 1 || height > 400) {
                std::fprintf(stderr, "kirake-glyphs: the height \"%s\" is not a number from 1 to 400\n", argv[a]);
                return 2;
            }
            heights.push_back(int(height));
        }
        if (heights.size() > size_t(GLYPH_FILE_MAX_FONTS)) {  // a glyph file holds no more fonts
            std::fprintf(stderr, "kirake-glyphs: %zu heights; a glyph file holds at most %d\n", heights.size(),
                         GLYPH_FILE_MAX_FONTS);
            return 2;
        }
        if (heights.empty()) heights = {20, MESSAGE_TEXT_HEIGHT, 24, 40};  // the roll, messages, answers, "The End"
        std::set<uint32_t> characters;
        if (story) {
            bool marked = false;
            if (!StoryCharacters(argv[2], &characters, &marked)) return 1;
            if (characters.empty()) {
                std::printf("kirake-glyphs: %s %s: nothing to write\n", argv[2],
                            marked ? "uses no character beyond ASCII" : "has no text in UTF-8 (no byte order mark)");
                return 0;
            }
        } else {
            for (uint32_t c = 0x20; c <= 0x7E; ++c) characters.insert(c);
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
        std::vector<GlyphFileFont> fonts;
        std::set<uint32_t> missing;
        for (int height : heights) {
            Font* font = CreateTextFont(GAME_FACE, height, TEXT_WEIGHT, TEXT_PITCH_AND_FAMILY);
            if (!font) {
                std::fprintf(stderr, "kirake-glyphs: warning: no font for the game's face at height %d; "
                                     "the browser and Windows builds draw no text at it\n", height);
                continue;
            }
            GlyphFileFont out;
            out.name = GAME_FACE;
            out.height = height;
            out.weight = TEXT_WEIGHT;
            out.pitchAndFamily = TEXT_PITCH_AND_FAMILY;
            // The cell: an opaque space fills advance x cell height with the background (white: index 1).
            int l, t, r, b;
            Draw(surface, font, ' ', 0x808080, false);
            out.cellHeight = Box(surface, INK, &l, &t, &r, &b) ? b - PEN + 1 : height;
            for (uint32_t c : characters) {
                Glyph glyph = Measure(surface, font, c);
                if (c >= 0x80 && glyph.advance == 0 && glyph.ink.empty()) missing.insert(c);
                out.glyphs[c] = std::move(glyph);
            }
            fonts.push_back(std::move(out));
        }
        DisplayRelease();
        PlatformStop();
        for (uint32_t c : missing)
            std::fprintf(stderr, "kirake-glyphs: warning: no installed font has U+%04X: it is drawn as nothing\n",
                         unsigned(c));
        std::vector<uint8_t> bytes = WriteGlyphFile(fonts);
        if (story && bytes.size() > MAX_GLYPH_FILE_BYTES) {  // the builds that read it would draw nothing
            std::fprintf(stderr,
                         "kirake-glyphs: %s: %zu characters at %zu heights take %zu bytes, more than the %s the "
                         "browser and Windows builds read; nothing written: bake fewer characters or fewer or "
                         "lower heights\n",
                         outPath, characters.size(), fonts.size(), bytes.size(), SizeText(MAX_GLYPH_FILE_BYTES).c_str());
            return 1;
        }
        FILE* file = std::fopen(outPath, "wb");
        bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file && std::fclose(file) != 0) written = false;
        if (!written) {
            std::fprintf(stderr, "kirake-glyphs: cannot write %s\n", outPath);
            return 1;
        }
        if (story) {
            std::string at;
            for (const GlyphFileFont& font : fonts) at += " " + std::to_string(font.height);
            std::printf("kirake-glyphs: %zu characters (heights%s) in %s, %zu bytes\n", characters.size(),
                        at.c_str(), outPath, bytes.size());
        }
        return 0;
    });
}
