// kirake-art, the picture drawing tool: exact pixels without blending, the source language, and
// refusal of broken sources without crashing or leaving a file behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>
#include "run_program.h"
#include "test_files.h"

namespace {

const std::string kTool = std::string(KIRAKE_TOOLS_DIR) + "/art/" + ExecutableName("kirake-art");

// A folder of the running test's own (made by the fixture), so that tests run side by side share no files.
std::string testDir;
std::string Dir() { return testDir; }

void Write(const std::string& name, const std::string& text) { WriteText(Dir() + "/" + name, text); }

// Draws `source` (written as test.pic beside the palette) and returns the tool's exit status.
int Draw(const std::string& source, const std::string& out = "out.bmp") {
    Write("test.pic", source);
    std::remove((Dir() + "/" + out).c_str());
    return RunProcess({kTool, Dir() + "/test.pic", Dir() + "/" + out}).status;  // -1: a crash
}

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
    uint8_t table[256][3] = {};
};

bool Decode(const std::vector<uint8_t>& b, Image& im) {
    if (b.size() < 54 + 1024 || b[0] != 'B' || b[1] != 'M') return false;
    auto le = [&](size_t at) { return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24; };
    im.width = int(le(18));
    im.height = int(le(22));
    if (b[28] != 8 || le(46) != 256) return false;
    size_t stride = (size_t(im.width) + 3) & ~size_t(3), offset = le(10);
    if (offset + stride * im.height != b.size()) return false;
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) im.table[i][k] = b[54 + 4 * i + 2 - k];
    im.pixels.clear();
    for (int y = 0; y < im.height; ++y)
        for (int x = 0; x < im.width; ++x) im.pixels.push_back(b[offset + stride * (im.height - 1 - y) + x]);
    return true;
}

Image DrawAndDecode(const std::string& source) {
    Image im;
    EXPECT_EQ(Draw(source), 0) << source;
    EXPECT_TRUE(Decode(ReadBytes(Dir() + "/out.bmp"), im));
    return im;
}

const char* kPalette =
    "# a test palette\n"
    "0 dark #000000\n"
    "1 light #ffffff\n"
    "5 red #ff0000 # comment after a colour\n"
    "6 green #00ff00\n"
    "7 blue #0000ff\n"
    "9 key #ff00ff\n";

class ArtTool : public testing::Test {
protected:
    void SetUp() override {
        testDir = testing::TempDir() + "kirake_art_test_" +
                  testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + std::to_string(ThisProcessId());
        ASSERT_TRUE(std::filesystem::create_directories(testDir) || std::filesystem::is_directory(testDir));
        Write("t.pal", kPalette);
        Write("e.pal", "base t\n5 rose #ff8080\n");
    }
    void TearDown() override {
        std::error_code error;
        std::filesystem::remove_all(testDir, error);
    }
};

TEST_F(ArtTool, RectanglesLandOnExactPixelsAndRowsArePadded) {
    // Width 5 makes every stored row carry 3 bytes of padding.
    Image im = DrawAndDecode("size 5 3\npalette t\nfill light\nrect red 1 1 2 1\n");
    ASSERT_EQ(im.width, 5);
    ASSERT_EQ(im.height, 3);
    std::vector<uint8_t> want = {1, 1, 1, 1, 1, 1, 5, 5, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(im.pixels, want);
    EXPECT_EQ(im.table[5][0], 255);
    EXPECT_EQ(im.table[5][1], 0);
    EXPECT_EQ(im.table[9][2], 255);
    EXPECT_EQ(im.table[200][0], 0);  // entries the palette leaves out are black
}

TEST_F(ArtTool, CurvesAndTextUseOnlyTheColoursAsked) {
    // Anti-aliasing would leave blended pixels; every pixel must hold one of the named indices.
    Image im = DrawAndDecode(
        "size 64 48\npalette t\nfill key\ncircle red 20 20 13\nellipse green 40 30 15 9 30\n"
        "stroke blue 3 path M 2 40 C 20 10 40 60 62 8\nofill light dark 2 poly 50 2 62 2 56 14\n"
        "text dark 32 46 14 c \"Ag\"\n");
    std::set<int> used(im.pixels.begin(), im.pixels.end());
    EXPECT_EQ(used, (std::set<int>{0, 1, 5, 6, 7, 9}));
    EXPECT_EQ(im.pixels[20 * 64 + 20], 5);  // the circle's centre
    EXPECT_EQ(im.pixels[0], 9);
}

TEST_F(ArtTool, GradientsStepThroughTheirColours) {
    Image im = DrawAndDecode("size 8 40\npalette t\nvgrad 0 0 8 40 red green blue\n");
    std::set<int> used(im.pixels.begin(), im.pixels.end());
    EXPECT_EQ(used, (std::set<int>{5, 6, 7}));
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(im.pixels[x], 5);
        EXPECT_EQ(im.pixels[39 * 8 + x], 7);
    }
}

TEST_F(ArtTool, DefsIncludesAliasesAndTransformsCompose) {
    Write("parts.inc", "def dot\nrect C 0 0 2 2\nend\n");
    Image im = DrawAndDecode(
        "size 10 10\npalette t\ninclude parts.inc\nfill dark\ncolour C green\nuse dot 1 1\n"
        "push\ntranslate 6 6\ncolour C red\nuse dot 0 0 2\npop\nuse dot 4 0\n");
    EXPECT_EQ(im.pixels[1 * 10 + 1], 6);
    EXPECT_EQ(im.pixels[2 * 10 + 2], 6);
    EXPECT_EQ(im.pixels[3 * 10 + 3], 0);
    EXPECT_EQ(im.pixels[6 * 10 + 6], 5);  // scaled by 2: covers (6,6)-(10,10)
    EXPECT_EQ(im.pixels[9 * 10 + 9], 5);
    // the alias set inside push/pop stays: aliases are kept per def, not per push
    EXPECT_EQ(im.pixels[0 * 10 + 4], 5);
}

TEST_F(ArtTool, ScatterAndTileAreRepeatable) {
    std::string src = "size 40 40\npalette t\nfill dark\ndef d\nrect light 0 0 1 1\nend\n"
                      "scatter d 30 0 0 40 40 7\ntile d 0 0 40 40 10 10 5\n";
    ASSERT_EQ(Draw(src, "a.bmp"), 0);
    ASSERT_EQ(Draw(src, "b.bmp"), 0);
    std::vector<uint8_t> a = ReadBytes(Dir() + "/a.bmp"), b = ReadBytes(Dir() + "/b.bmp");
    EXPECT_EQ(a, b);
    Image im;
    ASSERT_TRUE(Decode(a, im));
    EXPECT_EQ(im.pixels[0], 1);             // tile row 0 starts at x 0
    EXPECT_EQ(im.pixels[10 * 40 + 5], 1);   // row 1 is staggered by 5
}

TEST_F(ArtTool, PaletteBasesOverrideEntries) {
    Image im = DrawAndDecode("size 2 1\npalette e\nrect rose 0 0 1 1\nrect green 1 0 1 1\n");
    EXPECT_EQ(im.pixels[0], 5);
    EXPECT_EQ(im.table[5][1], 0x80);
    EXPECT_EQ(im.pixels[1], 6);
}

TEST_F(ArtTool, BrokenSourcesAreRefusedWithoutOutput) {
    Write("self.inc", "include self.inc\n");
    Write("bad.pal", "0 a #12345\n");
    const char* cases[] = {
        "",                                                    // no size, no palette
        "size 10 10\n",                                        // no palette
        "size 0 10\npalette t\n",                              // empty picture
        "size 99999 10\npalette t\n",                          // too large
        "size 10 10\npalette nowhere\n",                       // missing palette
        "size 10 10\npalette bad\n",                           // broken palette line
        "size 10 10\npalette t\nfill mauve\n",                 // unknown colour
        "size 10 10\npalette t\nfill 256\n",                   // index out of range
        "size 10 10\npalette t\nwobble red\n",                 // unknown command
        "size 10 10\npalette t\nrect red 1 2 x 4\n",           // not a number
        "size 10 10\npalette t\nrect red 1 2\n",               // too few numbers
        "size 10 10\npalette t\nrect red 1 2 3 nan\n",         // not finite
        "size 10 10\npalette t\npoly red 1 2 3\n",             // odd coordinates
        "size 10 10\npalette t\npath red 1 2 L 3 4\n",         // path without a command
        "size 10 10\npalette t\npath red M 1 2 X 3 4\n",       // unknown path command
        "size 10 10\npalette t\npath red M 1 2 L 3\n",         // path cut short
        "size 10 10\npalette t\ntext red 1 2 3 c \"open\n",    // unterminated string
        "size 10 10\npalette t\ntext red 1 2 3 q \"x\"\n",     // bad anchor
        "size 10 10\npalette t\ndef a\nrect red 0 0 1 1\n",    // def without end
        "size 10 10\npalette t\nend\n",                        // end without def
        "size 10 10\npalette t\ndef a\ndef b\nend\nend\n",     // nested def
        "size 10 10\npalette t\nuse nothing\n",                // unknown def
        "size 10 10\npalette t\ndef a\nuse a\nend\nuse a\n",   // a def that uses itself
        "size 10 10\npalette t\ninclude self.inc\n",           // an include that includes itself
        "size 10 10\npalette t\ninclude missing.inc\n",        // missing include
        "size 10 10\npalette t\ndef d\nend\nscatter d 99999 0 0 1 1 1\n",  // too many copies
        "size 10 10\npalette t\ndef d\nend\ntile d 0 0 10 10 0 1\n",        // a tile step of 0
        "size 10 10\npalette t\nvgrad 0 0 10 10 red\n",        // a gradient of one colour
    };
    for (const char* src : cases) {
        SCOPED_TRACE(src);
        EXPECT_EQ(Draw(src), 1);
        EXPECT_TRUE(ReadBytes(Dir() + "/out.bmp").empty());
    }
}

// A family that is not installed is not quietly drawn in whatever fontconfig offers instead.
TEST_F(ArtTool, TextInAFontNotInstalledIsRefusedAtItsLine) {
    Write("test.pic", "size 40 20\npalette t\nfont \"Kirake No Such Family\" bold\ntext red 2 18 14 l \"Ag\"\n");
    ProcessOptions capture;
    capture.capture = true;
    ProcessResult run = RunProcess({kTool, Dir() + "/test.pic", Dir() + "/out.bmp"}, capture);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("test.pic:4: the font \"Kirake No Such Family\" is not installed"), std::string::npos)
        << run.output;
    EXPECT_TRUE(ReadBytes(Dir() + "/out.bmp").empty());
}

TEST_F(ArtTool, BadUsageIsRefused) {
    ProcessResult run = RunProcess({kTool});
    ASSERT_NE(run.status, -1);
    EXPECT_EQ(run.status, 2);
}

}  // namespace
