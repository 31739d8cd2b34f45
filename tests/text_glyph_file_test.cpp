// Glyph files, the text of the browser and Windows builds: what is written reads back whole, a version 1
// file still reads, and damaged files (cut anywhere, counts beyond the bytes, code points out of order)
// give the fonts before the damage without reading past the end.
#include <gtest/gtest.h>
#include <vector>
#include "platform/core/glyph_file.h"

namespace {

std::vector<GlyphFileFont> TwoFonts() {
    std::vector<GlyphFileFont> fonts(2);
    for (int f = 0; f < 2; ++f) {
        fonts[f].name = "face";
        fonts[f].height = fonts[f].cellHeight = 21 + f;
        for (uint32_t c : {0x41u, 0xE9u, 0x65E5u, 0x1F600u}) {
            Glyph& g = fonts[f].glyphs[c];
            g = {int(c % 23), -1, 3, 3 + f, 5, {}};
            for (int i = 0; i < g.width * g.height; ++i) g.ink.push_back(uint8_t((i * 7 + int(c)) % 3 == 0));
        }
    }
    return fonts;
}

}  // namespace

TEST(GlyphFile, WrittenFontsReadBackAndVersionOneStillReads) {
    std::vector<GlyphFileFont> fonts = TwoFonts(), read;
    std::vector<uint8_t> bytes = WriteGlyphFile(fonts);
    ASSERT_EQ(ReadGlyphFile(bytes.data(), bytes.size(), &read), 1);
    ASSERT_EQ(read.size(), 2u);
    for (size_t f = 0; f < 2; ++f) {
        EXPECT_EQ(read[f].height, fonts[f].height);
        ASSERT_EQ(read[f].glyphs.size(), 4u);
        for (auto& [c, g] : fonts[f].glyphs) {
            const Glyph& back = read[f].glyphs.at(c);
            EXPECT_EQ(back.advance, g.advance);
            EXPECT_EQ(back.left, g.left);
            EXPECT_EQ(back.width, g.width);
            EXPECT_EQ(back.ink, g.ink) << "U+" << std::hex << c;
        }
    }
    // Version 1: one font, the 95 ASCII glyphs in order without code points (here 1x1 ink each).
    std::vector<uint8_t> v1 = {'K', 'G', 'L', 'Y', 1, 0, 1, 0, 1, 'f', 21, 0, 0xE8, 3, 0x12, 21, 0};
    for (int c = 0x20; c <= 0x7E; ++c) v1.insert(v1.end(), {uint8_t(c % 11), 0, 0, 0, 0, 0, 1, 0, 1, 0, 0x80});
    read.clear();
    ASSERT_EQ(ReadGlyphFile(v1.data(), v1.size(), &read), 1);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].glyphs.size(), 95u);
    EXPECT_EQ(read[0].glyphs.at('~').advance, '~' % 11);
    EXPECT_EQ(read[0].glyphs.at('A').ink, std::vector<uint8_t>{1});
}

TEST(GlyphFile, DamagedFilesGiveTheFontsBeforeTheDamage) {
    std::vector<uint8_t> bytes = WriteGlyphFile(TwoFonts());
    size_t firstFontEnd = WriteGlyphFile({TwoFonts()[0]}).size();
    auto read = [](const std::vector<uint8_t>& file, size_t fonts) {
        std::vector<GlyphFileFont> out;
        EXPECT_EQ(ReadGlyphFile(file.data(), file.size(), &out), 0);
        EXPECT_EQ(out.size(), fonts);
    };
    // Cut anywhere: never the whole file; the first font whole once its bytes are all there.
    for (size_t size = 0; size < bytes.size(); ++size)
        read(std::vector<uint8_t>(bytes.begin(), bytes.begin() + ptrdiff_t(size)), size >= firstFontEnd ? 1 : 0);
    // The second font's glyph count far beyond the bytes there are: refused before anything is made.
    std::vector<uint8_t> huge = bytes;
    huge[firstFontEnd + 12 + 3] = 0xFF;
    read(huge, 1);
    // A side beyond the limit, code points not rising, beyond Unicode, and too many fonts.
    constexpr size_t glyph = 24;  // the first glyph of the first font
    std::vector<uint8_t> wide = bytes, unordered = bytes, beyond = bytes, many = bytes;
    wide[glyph + 10] = 0x01, wide[glyph + 11] = 0x10;  // width 4097
    unordered[glyph + 16] = 0x41;  // the second glyph's code point (16 bytes on) as the first's
    beyond[glyph + 2] = 0x11;
    many[6] = 65;
    for (auto* damaged : {&wide, &unordered, &beyond, &many}) read(*damaged, 0);
}
