// Glyph files, the text of the browser and Windows builds: what kirake-glyphs writes reads back whole,
// a version 1 file still reads, and damaged files (cut anywhere, counts beyond the bytes, code points out
// of order) give the fonts before the damage without reading past the end.
#include <gtest/gtest.h>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>
#include "platform/glyph_file.h"
#include "text/text.h"

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<GlyphFileFont> TwoFonts() {
    std::vector<GlyphFileFont> fonts(2);
    for (int f = 0; f < 2; ++f) {
        fonts[f].name = "face";
        fonts[f].height = 21 + f;
        fonts[f].weight = 1000;
        fonts[f].pitchAndFamily = 0x12;
        fonts[f].cellHeight = 21 + f;
        for (uint32_t c : {0x41u, 0xE9u, 0x65E5u, 0x1F600u}) {
            Glyph& g = fonts[f].glyphs[c];
            g.advance = int(c % 23);
            g.left = -1;
            g.top = 3;
            g.width = 3 + f;
            g.height = 5;
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
    std::vector<uint8_t> one = WriteGlyphFile({TwoFonts()[0]});
    size_t firstFontEnd = one.size();
    // Cut anywhere: never the whole file; the first font whole once its bytes are all there.
    for (size_t size = 0; size < bytes.size(); ++size) {
        std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + ptrdiff_t(size));
        std::vector<GlyphFileFont> read;
        EXPECT_EQ(ReadGlyphFile(cut.data(), cut.size(), &read), 0) << size;
        EXPECT_EQ(read.size(), size >= firstFontEnd ? 1u : 0u) << size;
    }
    // The second font's glyph count (after its head) far beyond the bytes there are: refused at once.
    size_t secondCount = firstFontEnd + 1 + 4 + 2 + 2 + 1 + 2;
    for (uint8_t big : {0x7F, 0xFF}) {
        std::vector<uint8_t> huge = bytes;
        huge[secondCount + 3] = big;
        std::vector<GlyphFileFont> read;
        EXPECT_EQ(ReadGlyphFile(huge.data(), huge.size(), &read), 0);
        EXPECT_EQ(read.size(), 1u);
    }
    // A side beyond the limit, code points not rising, beyond Unicode, and too many fonts.
    std::vector<uint8_t> wide = bytes, unordered = bytes, beyond = bytes, many = bytes;
    size_t glyph = 8 + 1 + 4 + 2 + 2 + 1 + 2 + 4;  // the first glyph of the first font
    wide[glyph + 4 + 6] = 0x01, wide[glyph + 4 + 7] = 0x10;  // width 4097
    unordered[glyph + 16] = 0x41;  // the second glyph (16 bytes on) as the first
    beyond[glyph + 2] = 0x11;
    many[6] = 65;
    for (auto* damaged : {&wide, &unordered, &beyond, &many}) {
        std::vector<GlyphFileFont> read;
        EXPECT_EQ(ReadGlyphFile(damaged->data(), damaged->size(), &read), 0);
        EXPECT_TRUE(read.empty());
    }
}

// What the build baked for the UTF-8 test story: every character beyond ASCII it uses, once, at the
// message text's height, full-width kanji wider than accented letters; the one no Gothic face has too.
TEST(GlyphFile, BakedStoryHoldsTheStorysCharacters) {
    std::vector<uint8_t> bytes = ReadBytes(KIRAKE_UTF8_STORY_DIR "/glyphs.kfnt");
    if (bytes.empty()) GTEST_SKIP() << "no baked glyphs (no font for the game's face?)";
    std::vector<GlyphFileFont> fonts;
    ASSERT_EQ(ReadGlyphFile(bytes.data(), bytes.size(), &fonts), 1);
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(fonts[0].height, MESSAGE_TEXT_HEIGHT);
    std::vector<uint8_t> message = ReadBytes(KIRAKE_UTF8_MESSAGE);
    std::set<uint32_t> used;
    for (size_t at = 0; at < message.size(); ++at) {
        uint32_t c = 0;
        int length = DecodeUtf8(message.data() + at, uint32_t(message.size() - at), &c);
        if (length > 0) used.insert(c), at += size_t(length - 1);
    }
    std::set<uint32_t> baked;
    for (auto& [c, g] : fonts[0].glyphs) baked.insert(c);
    EXPECT_EQ(baked, used);
    EXPECT_GT(fonts[0].glyphs.at(0x65E5).advance, fonts[0].glyphs.at(0xE9).advance);
    EXPECT_FALSE(fonts[0].glyphs.at(0x1E9E).ink.empty());  // drawn by a fallback face
}
