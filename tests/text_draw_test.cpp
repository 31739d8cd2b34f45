// Text drawing on 8-bit surfaces: glyph placement, colour choice, clipping, the font drawing steps.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/display.h"
#include "platform/text.h"
#include "test_support.h"
#include "text/text.h"

namespace {

constexpr int BACKGROUND = 40;
constexpr int WHITE_INDEX = 7;  // (255,255,255); 9 is (250,250,250)
constexpr int BLACK_INDEX = 3;  // (0,0,0); 5 is black too, but higher

std::vector<PaletteEntry> TestTable() {
    std::vector<PaletteEntry> table(256, PaletteEntry{128, 128, 128, 0});
    table[3] = {0, 0, 0, 0};
    table[5] = {0, 0, 0, 0};
    table[7] = {255, 255, 255, 0};
    table[9] = {250, 250, 250, 0};
    table[12] = {200, 0, 0, 0};
    table[13] = {0, 200, 0, 0};
    table[14] = {0, 0, 200, 0};
    return table;
}

class TextDraw : public DisplayTest {
protected:
    // A surface filled with BACKGROUND; with a colour table unless told otherwise.
    Surface* MakeSurface(int width, int height, bool withTable = true) {
        Surface* surface = CreateSurface(width, height);
        EXPECT_NE(surface, nullptr);
        if (withTable) {
            Palette* palette = CreateSurfacePalette(TestTable().data());
            EXPECT_EQ(AttachPalette(surface, palette), 1);
        }
        FillSurface(surface, BACKGROUND);
        return surface;
    }
    static int Count(const std::vector<uint8_t>& pixels, int index) {
        int n = 0;
        for (uint8_t p : pixels) n += p == index;
        return n;
    }
};

TEST_F(TextDraw, GlyphsArePaintedInOneIndexInsideTheirCell) {
    Surface* surface = MakeSurface(640, 480);
    const int x = 100, y = 50;
    DrawTextLine("Mgjy|QW", GAME_FACE, x, y, 21, surface, 255, 255, 255);
    std::vector<uint8_t> pixels = SurfacePixels(surface);
    int top = 480, bottom = -1, left = 640, inked = 0;
    for (int py = 0; py < 480; py++)
        for (int px = 0; px < 640; px++) {
            uint8_t p = pixels[py * 640 + px];
            if (p == BACKGROUND) continue;
            ASSERT_EQ(p, WHITE_INDEX) << "at " << px << "," << py;  // no anti-aliasing
            inked++;
            top = std::min(top, py);
            bottom = std::max(bottom, py);
            left = std::min(left, px);
        }
    EXPECT_GT(inked, 100);
    EXPECT_GE(top, y);               // the cell starts at y
    EXPECT_LT(bottom, y + 21);       // and is 21 pixels high, descenders included
    EXPECT_GT(bottom - top, 14);     // the text fills most of it
    EXPECT_GE(left, x);
    EXPECT_LT(left, x + 4);
}

TEST_F(TextDraw, ChoosesTheNearestEntryOfTheSurfacesOwnTable) {
    struct Case {
        int red, green, blue;
        bool withTable;
        int index;
    } cases[] = {
        {255, 255, 255, true, WHITE_INDEX},
        {0, 0, 0, true, BLACK_INDEX},          // equally near: the lower index
        {255, 0, 0, true, 12},
        {0, 255, 0, true, 13},
        {10, 20, 230, true, 14},
        {511, 256 + 255, -1, true, WHITE_INDEX},  // components taken modulo 256
        {256, 512, 768, true, BLACK_INDEX},
        {255, 255, 255, false, 255},           // no table: black, and white at the top
        {200, 190, 210, false, 255},
        {0, 0, 0, false, 0},
    };
    for (const Case& c : cases) {
        Surface* surface = MakeSurface(64, 32, c.withTable);
        DrawTextLine("H", GAME_FACE, 4, 4, 21, surface, c.red, c.green, c.blue);
        std::vector<uint8_t> pixels = SurfacePixels(surface);
        int inked = 0;
        for (uint8_t p : pixels)
            if (p != BACKGROUND) {
                EXPECT_EQ(p, c.index) << c.red << "," << c.green << "," << c.blue;
                inked++;
            }
        EXPECT_GT(inked, 20);
        ReleaseSurface(surface);
    }
}

TEST_F(TextDraw, ClipsAtEverySurfaceEdge) {
    // The same text drawn well inside a large surface is the reference.
    Surface* big = MakeSurface(200, 100);
    const int refX = 80, refY = 40;
    DrawTextLine("W@g", GAME_FACE, refX, refY, 24, big, 255, 255, 255);
    std::vector<uint8_t> reference = SurfacePixels(big);
    const int offsets[][2] = {{-7, -9}, {20, 15}, {-20, 12}, {5, -15}, {25, 20}, {-1000, 0}, {0, 5000},
                              {-2147483000, 2147483000}};
    for (const auto& offset : offsets) {
        Surface* small = MakeSurface(40, 30);
        DrawTextLine("W@g", GAME_FACE, offset[0], offset[1], 24, small, 255, 255, 255);
        std::vector<uint8_t> pixels = SurfacePixels(small);
        for (int y = 0; y < 30; y++)
            for (int x = 0; x < 40; x++) {
                long long rx = (long long)x - offset[0] + refX, ry = (long long)y - offset[1] + refY;
                int expected = rx >= 0 && rx < 200 && ry >= 0 && ry < 100 ? reference[ry * 200 + rx] : BACKGROUND;
                ASSERT_EQ(pixels[y * 40 + x], expected) << "offset " << offset[0] << "," << offset[1] << " at " << x
                                                        << "," << y;
            }
        ReleaseSurface(small);
    }
}

TEST_F(TextDraw, BytesTheFontCannotDrawDrawNothingAndTakeNoRoom) {
    Surface* plain = MakeSurface(200, 40);
    Surface* mixed = MakeSurface(200, 40);
    DrawTextLine("AB", GAME_FACE, 2, 2, 21, plain, 255, 255, 255);
    DrawTextLine("\nA\x80\x7f\xff\x01" "B\t", GAME_FACE, 2, 2, 21, mixed, 255, 255, 255);
    EXPECT_EQ(SurfacePixels(plain), SurfacePixels(mixed));
    Surface* none = MakeSurface(200, 40);
    DrawTextLine("\x82\xa0\x83\x80\r\n", GAME_FACE, 2, 2, 21, none, 255, 255, 255);
    EXPECT_EQ(Count(SurfacePixels(none), BACKGROUND), 200 * 40);
}

TEST_F(TextDraw, EveryPrintableByteDrawsSomethingButTheSpace) {
    Surface* surface = MakeSurface(40, 30);
    for (int byte = 0x20; byte <= 0x7E; byte++) {
        FillSurface(surface, BACKGROUND);
        char text[2] = {static_cast<char>(byte), 0};
        DrawTextLine(text, GAME_FACE, 5, 3, 21, surface, 255, 255, 255);
        int inked = 40 * 30 - Count(SurfacePixels(surface), BACKGROUND);
        if (byte == ' ')
            EXPECT_EQ(inked, 0);
        else
            EXPECT_GT(inked, 0) << "byte " << byte;
    }
}

TEST_F(TextDraw, HeavyWeightIsEmboldenedAndDrawingsRepeatExactly) {
    Surface* regular = MakeSurface(200, 40);
    Surface* heavy = MakeSurface(200, 40);
    Surface* again = MakeSurface(200, 40);
    for (Surface* surface : {regular, heavy, again}) {
        Font* font = CreateTextFont(GAME_FACE, 21, surface == regular ? 400 : 1000, 0x12);
        ASSERT_NE(font, nullptr) << "no font for the game's face";
        DrawContext* dc = GetSurfaceDC(surface);
        ASSERT_NE(dc, nullptr);
        Font* old = SelectTextFont(dc, font);
        SetTransparentBackground(dc);
        SetTextColour(dc, 0xFFFFFF);
        PaintText(dc, 3, 3, "Hello", 5);
        SelectTextFont(dc, old);
        ReleaseSurfaceDC(surface, dc);
        DeleteTextFont(font);
    }
    EXPECT_GT(Count(SurfacePixels(heavy), WHITE_INDEX), Count(SurfacePixels(regular), WHITE_INDEX) * 5 / 4);
    EXPECT_EQ(SurfacePixels(heavy), SurfacePixels(again));
}

TEST_F(TextDraw, OpaqueBackgroundFillsTheCellsInWhite) {
    Surface* surface = MakeSurface(100, 40);
    Font* font = CreateTextFont(GAME_FACE, 21, 1000, 0x12);
    DrawContext* dc = GetSurfaceDC(surface);
    SelectTextFont(dc, font);
    SetTextColour(dc, 0);
    PaintText(dc, 10, 10, "ab", 2);
    ReleaseSurfaceDC(surface, dc);
    std::vector<uint8_t> pixels = SurfacePixels(surface);
    EXPECT_GT(Count(pixels, BLACK_INDEX), 0);
    EXPECT_GT(Count(pixels, WHITE_INDEX), 100);
    EXPECT_EQ(pixels[9 * 100 + 10], BACKGROUND);   // above the cell
    EXPECT_EQ(pixels[31 * 100 + 10], BACKGROUND);  // below it
}

TEST_F(TextDraw, EmptyStringsLostSurfacesAndTheContextRecord) {
    Surface* surface = MakeSurface(64, 32);
    DrawTextLine("", GAME_FACE, 0, 0, 21, surface, 255, 255, 255);
    DrawTextLine(nullptr, GAME_FACE, 0, 0, 21, surface, 255, 255, 255);
    EXPECT_EQ(Count(SurfacePixels(surface), BACKGROUND), 64 * 32);

    BeginText(GAME_FACE, 21, surface);
    EXPECT_NE(textDC, nullptr);
    EXPECT_NE(textFont, nullptr);
    DrawTextString(2, 2, "x", 0xFFFFFF);
    EndText(surface);
    EXPECT_EQ(textDC, nullptr);
    EXPECT_EQ(textFont, nullptr);
    // After the drawing the surface takes blits and locks as before.
    int pitch = 0;
    EXPECT_NE(LockSurface(surface, &pitch), nullptr);
    UnlockSurface(surface);
    Rect box{0, 0, 64, 32};
    EXPECT_EQ(FillSurfaceRect(surface, &box, 1), SURFACE_OK);

    ReleaseSurface(surface);
    EXPECT_EQ(GetSurfaceDC(surface), nullptr);
    DrawTextLine("lost", GAME_FACE, 0, 0, 21, surface, 255, 255, 255);  // nothing, no fault
    DrawTextLine("none", GAME_FACE, 0, 0, 21, nullptr, 255, 255, 255);
}

TEST_F(TextDraw, OtherFacesAndSizesStillDraw) {
    struct Case {
        const char* face;
        int height;
    } cases[] = {{GAME_FACE, 20}, {GAME_FACE, 40}, {"DejaVu Sans", 24}, {"No Such Face Anywhere", 21},
                 {"", 21},        {GAME_FACE, -18}, {GAME_FACE, 0},      {GAME_FACE, 100000}};
    for (const Case& c : cases) {
        Surface* surface = MakeSurface(120, 60);
        DrawTextLine("Ag", c.face, 1, 1, c.height, surface, 255, 255, 255);
        if (c.height <= 100) {  // larger text lies beyond this small surface
            EXPECT_GT(Count(SurfacePixels(surface), WHITE_INDEX), 10) << c.face << " " << c.height;
        }
        ReleaseSurface(surface);
    }
}

}  // namespace
