// The glyphs of a UTF-8 story on the screen are FreeType's own: the test story's message typed to its end,
// every character the game's face has (kana, kanji, accented, Greek, Cyrillic and ASCII) rendered here
// from the same face file in monochrome at the message's cell height, emboldened as the game's weight
// asks, and compared with the white ink of the capture at the pen positions of the trace.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <zlib.h>
#include <unistd.h>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
#include "run_program.h"
#include "test_support.h"
#include "text/text.h"

namespace {

constexpr int WIDTH = 640, HEIGHT = 480, ORIGIN_X = 60, ORIGIN_Y = 355;  // the message text's origin

// The program's captures (8-bit RGB, unfiltered): the rows, each after its filter byte.
std::vector<uint8_t> ReadCapture(const std::string& path) {
    std::string png = ReadText(path), packed;
    for (size_t at = 8, length; at + 12 <= png.size(); at += 12 + length) {
        length = size_t(uint8_t(png[at])) << 24 | size_t(uint8_t(png[at + 1])) << 16 | size_t(uint8_t(png[at + 2])) << 8 |
                 uint8_t(png[at + 3]);
        if (png.compare(at + 4, 4, "IDAT") == 0) packed += png.substr(at + 8, length);
    }
    std::vector<uint8_t> raw(size_t(HEIGHT) * (WIDTH * 3 + 1));
    uLongf size = uLongf(raw.size());
    if (uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(packed.data()), uLong(packed.size())) != Z_OK)
        raw.clear();
    return raw;
}

// A number of the trace line's message record.
long Field(const std::string& line, const std::string& key) { return TraceNumber(TraceField(line, "message"), key); }

}  // namespace

TEST(TextFreetypeInk, TypedUtf8GlyphsAreTheFacesOwn) {
    if (access(KIRAKE_UTF8_STORY_DIR "/data.txt", R_OK) != 0) GTEST_SKIP() << "no UTF-8 test story";
    std::string dir = MakeTempDir("utf8-ink"), errors;
    // Frame 139: the message has been typed to its end and waits.
    ASSERT_EQ(RunKirake({"--headless", "--verbose", "--data", KIRAKE_UTF8_STORY_DIR, "--start", "route:hiyori",
                         "--frames", "140", "--trace", dir + "/trace.jsonl", "--capture", "139", "--capture-dir", dir},
                        &errors),
              0)
        << errors;
    // --verbose names the face file: 'text: face "..." drawn with FAMILY (FILE)'.
    size_t named = errors.find("\" drawn with ");
    if (named == std::string::npos) GTEST_SKIP() << "no font for the game's face";
    named = errors.find(" (", named);
    std::string faceFile = errors.substr(named + 2, errors.find(")\n", named) - named - 2);
    std::vector<std::string> trace = ReadLines(dir + "/trace.jsonl");
    ASSERT_EQ(trace.size(), 140u);
    ASSERT_EQ(Field(trace.back(), "wait"), 1) << "the message waits at the end";
    std::vector<uint8_t> rows = ReadCapture(dir + "/frame-000139.png");
    ASSERT_EQ(rows.size(), size_t(WIDTH * 3 + 1) * HEIGHT);

    FT_Library library;
    FT_Face face;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    ASSERT_EQ(FT_New_Face(library, faceFile.c_str(), 0, &face), 0) << faceFile;
    FT_Size_RequestRec request{FT_SIZE_REQUEST_TYPE_CELL, 0, MESSAGE_TEXT_HEIGHT * 64, 0, 0};
    ASSERT_EQ(FT_Request_Size(face, &request), 0);
    int ascent = int((FT_MulFix(face->ascender, face->size->metrics.y_scale) + 32) >> 6);
    FT_Pos embolden = std::max<FT_Pos>(64, FT_MulFix(face->units_per_EM, face->size->metrics.y_scale) / 24);

    // Each frame typed the character at the previous frame's position, from the previous frame's pen.
    std::string text = ReadText(std::string(KIRAKE_UTF8_STORY_DIR) + "/data.txt");
    std::vector<uint8_t> expected(size_t(WIDTH) * HEIGHT), inBox(size_t(WIDTH) * HEIGHT);
    int compared = 0, wide = 0;
    for (size_t f = 1; f < trace.size(); ++f) {
        long pos = Field(trace[f - 1], "pos"), length = Field(trace[f], "pos") - pos;
        uint32_t c = uint8_t(text[size_t(pos)]);
        const uint8_t* at = reinterpret_cast<const uint8_t*>(text.data()) + pos;
        if (length < 1 || (length > 1 && DecodeUtf8(at, uint32_t(length), &c) != length))
            continue;  // a control code, or the message waiting
        FT_UInt index = FT_Get_Char_Index(face, c);
        if (c <= 0x20 || c == 0x7F || index == 0) continue;  // spaces, and what a fallback face draws
        ASSERT_EQ(FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO), 0);
        FT_Outline_EmboldenXY(&face->glyph->outline, embolden, 0);
        ASSERT_EQ(FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO), 0);
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        int x0 = ORIGIN_X + int(Field(trace[f - 1], "penX")) + face->glyph->bitmap_left;
        int y0 = ORIGIN_Y + int(Field(trace[f - 1], "penY")) + ascent - face->glyph->bitmap_top;
        ASSERT_TRUE(x0 >= 0 && y0 >= 0 && x0 + int(bitmap.width) <= WIDTH && y0 + int(bitmap.rows) <= HEIGHT) << f;
        for (int y = 0; y < int(bitmap.rows); ++y)
            for (int x = 0; x < int(bitmap.width); ++x) {
                size_t at = size_t(y0 + y) * WIDTH + size_t(x0 + x);
                inBox[at] = 1;
                if ((bitmap.buffer[y * bitmap.pitch + (x >> 3)] >> (7 - (x & 7))) & 1) expected[at] = 1;
            }
        compared++;
        wide += c >= 0x80;
    }
    int differing = 0, ink = 0;
    for (size_t at = 0; at < expected.size(); ++at) {
        if (!inBox[at]) continue;
        const uint8_t* rgb = rows.data() + at / WIDTH * (WIDTH * 3 + 1) + 1 + at % WIDTH * 3;
        bool white = rgb[0] == 255 && rgb[1] == 255 && rgb[2] == 255;
        differing += white != bool(expected[at]);
        ink += expected[at];
    }
    EXPECT_GE(wide, 30) << "kana, kanji, accented, Greek and Cyrillic letters compared";
    EXPECT_GT(compared, 60);
    EXPECT_GT(ink, 3000);
    EXPECT_EQ(differing, 0) << "of " << ink << " ink pixels in " << compared << " glyphs";
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}
