// Palette effects: ranges, rules and completion.
#include <gtest/gtest.h>
#include "gfx/gfx.h"
#include "test_support.h"

namespace {
class PaletteEffects : public DisplayTest {};

TEST_F(PaletteEffects, FadeOutSubtractsAndClampsAtZero) {
    SetDisplayPalette({{7, 10, 11, 4}});
    FadeOutStep(1, 10);
    PaletteEntry e = DisplayEntry(0);
    EXPECT_EQ(e.red, 0);
    EXPECT_EQ(e.green, 0);  // 10 - 10 is not greater than 0
    EXPECT_EQ(e.blue, 1);
    EXPECT_EQ(e.flags, 0);
}

TEST_F(PaletteEffects, FadeInMovesTowardMasterAndDropsToIt) {
    display.masterPalette[0] = {255, 100, 0, 4};
    SetDisplayPalette({{250, 200, 0, 4}});
    FadeInStep(1, 10);
    PaletteEntry e = DisplayEntry(0);
    EXPECT_EQ(e.red, 255);
    EXPECT_EQ(e.green, 100);
    EXPECT_EQ(e.blue, 0);
    EXPECT_EQ(e.flags, 0);
}

struct RangeCase {
    const char* name;
    void (*effect)(Window);
    int first, last;     // entries that change
    int first2, last2;   // a second range, or empty
};

void OutStep(Window w) { FadeOutStep(w, 3); }
void OutAll(Window w) { FadeOutAllStep(w, 3); }
void OutOuter(Window w) { FadeOutOuterStep(w, 3); }
void InStep(Window w) { FadeInStep(w, 3); }
void InAll(Window w) { FadeInAllStep(w, 3); }
void InLow(Window w) { FadeInLowStep(w, 3); }
void InBand(Window w) { FadeInBandStep(w, 3); }

TEST_F(PaletteEffects, EachEffectTouchesExactlyItsRange) {
    const RangeCase cases[] = {
        {"FadeOutStep", OutStep, 0, 239, 1, 0},     {"FadeOutAllStep", OutAll, 0, 255, 1, 0},
        {"FadeOutOuterStep", OutOuter, 0, 206, 241, 255}, {"FadeInStep", InStep, 0, 239, 1, 0},
        {"FadeInAllStep", InAll, 0, 255, 1, 0},     {"FadeInLowStep", InLow, 0, 206, 1, 0},
        {"FadeInBandStep", InBand, 207, 239, 1, 0}, {"BlackOut", BlackOut, 0, 239, 1, 0},
        {"BlackOutAll", BlackOutAll, 0, 255, 1, 0},
    };
    for (const RangeCase& c : cases) {
        std::vector<PaletteEntry> start(256);
        for (int i = 0; i < 256; ++i) {
            start[i] = {100, 100, 100, 4};
            display.masterPalette[i] = {200, 200, 200, 4};
        }
        SetDisplayPalette(start);
        c.effect(1);
        for (int i = 0; i < 256; ++i) {
            bool inside = (i >= c.first && i <= c.last) || (i >= c.first2 && i <= c.last2);
            PaletteEntry e = DisplayEntry(i);
            if (inside)
                EXPECT_TRUE(e.red != 100 && e.flags == 0) << c.name << " entry " << i;
            else
                EXPECT_TRUE(e.red == 100 && e.flags == 4) << c.name << " entry " << i;
        }
    }
}

TEST_F(PaletteEffects, TwentySevenStepsOfTenReachTheMasterPalette) {
    std::vector<PaletteEntry> black(256, PaletteEntry{0, 0, 0, 0});
    for (int i = 0; i < 256; ++i) display.masterPalette[i] = {uint8_t(i), uint8_t(255 - i), 255, 4};
    SetDisplayPalette(black);
    for (int f = 0; f < 27; ++f) FadeInAllStep(1, 10);
    for (int i = 0; i < 256; ++i) {
        PaletteEntry e = DisplayEntry(i);
        EXPECT_EQ(e.red, i);
        EXPECT_EQ(e.green, 255 - i);
        EXPECT_EQ(e.blue, 255);
        EXPECT_EQ(e.flags, 0);
    }
}

TEST_F(PaletteEffects, NoDisplayPaletteDoesNothing) {
    display.displayPalette = nullptr;
    FadeOutAllStep(1, 10);
    BlackOut(1);
    SUCCEED();
}
}  // namespace
