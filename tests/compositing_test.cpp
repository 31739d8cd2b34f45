// Surfaces and compositing: colour key, slot order, clipping, animation cadence, shake, surface loss.
#include <gtest/gtest.h>
#include <filesystem>
#include "app/app.h"
#include "gfx/gfx.h"
#include "platform/backend.h"
#include "platform/core/core.h"
#include "story/story.h"
#include "test_support.h"

namespace {
class Compositing : public DisplayTest {
protected:
    Surface* Filled(int w, int h, uint8_t value) {
        Surface* s = CreateSurface(w, h);
        Rect all = {0, 0, w, h};
        FillSurfaceRect(s, &all, value);
        return s;
    }
    uint8_t Back(int x, int y) {
        int pitch;
        return LockSurface(display.backBuffer, &pitch)[y * pitch + x];
    }
};

TEST_F(Compositing, ColourKeyNineIsTransparentOnlyOnceSet) {
    Surface* src = Filled(4, 1, 9);
    int pitch;
    LockSurface(src, &pitch)[1] = 200;
    Rect from = {0, 0, 4, 1}, to = {10, 10, 14, 11};
    Rect all = {0, 0, 640, 480};
    FillSurfaceRect(display.backBuffer, &all, 50);
    ASSERT_EQ(Blit(display.backBuffer, &to, src, &from, BLIT_KEYSRC), SURFACE_OK);
    EXPECT_EQ(Back(10, 10), 9) << "no key set yet: index 9 is copied like any other";
    EXPECT_EQ(Back(11, 10), 200);
    FillSurfaceRect(display.backBuffer, &all, 50);
    SetColorKey(src, COLOR_KEY);
    Blit(display.backBuffer, &to, src, &from, BLIT_KEYSRC);
    EXPECT_EQ(Back(10, 10), 50);
    EXPECT_EQ(Back(11, 10), 200);
    EXPECT_EQ(Back(12, 10), 50);
}

TEST_F(Compositing, KeyedCopyOfLongRowsKeepsEveryIndex) {
    // Rows longer than a machine word, with the key scattered: the fast path must not drop pixels.
    Surface* src = CreateSurface(37, 2);
    int pitch;
    uint8_t* p = LockSurface(src, &pitch);
    for (int i = 0; i < 74; ++i) p[i] = (i % 5 == 0) ? 9 : uint8_t(i + 100);
    SetColorKey(src, 9);
    Rect all = {0, 0, 640, 480}, from = {0, 0, 37, 2}, to = {3, 0, 40, 2};
    FillSurfaceRect(display.backBuffer, &all, 1);
    Blit(display.backBuffer, &to, src, &from, BLIT_KEYSRC);
    for (int i = 0; i < 74; ++i) EXPECT_EQ(Back(3 + i % 37, i / 37), (i % 5 == 0) ? 1 : i + 100) << i;
}

TEST_F(Compositing, SlotsDrawInIndexOrderAndOnlyWhenActiveIsOne) {
    display.windowSheet = Filled(640, 480, 1);
    SetColorKey(display.windowSheet, 9);
    Surface* a = Filled(10, 10, 20);
    Surface* b = Filled(10, 10, 30);
    sprites[3] = {1, 100, 100, 0, 0, 10, 10, b};
    sprites[7] = {1, 105, 100, 0, 0, 10, 10, a};
    sprites[8] = {2, 300, 300, 0, 0, 10, 10, a};
    DrawBaseLayer(1);
    DrawSprites(1);
    EXPECT_EQ(Back(101, 101), 30);
    EXPECT_EQ(Back(106, 101), 20) << "the higher slot lies on top";
    EXPECT_EQ(Back(301, 301), 1) << "active 2 is not drawn";
}

TEST_F(Compositing, SlotsAndRectanglesReachingOutsideAreCropped) {
    display.windowSheet = Filled(640, 480, 1);
    Surface* small = Filled(50, 50, 40);
    sprites[1] = {1, 620, 470, 0, 0, 50, 50, small};                 // off the bottom-right corner
    sprites[2] = {1, -30, -30, 0, 0, 50, 50, small};                 // off the top-left corner
    sprites[3] = {1, 300, 200, 40, 40, 90, 90, small};               // source reaches past its surface
    DrawBaseLayer(1);
    DrawSprites(1);
    EXPECT_EQ(Back(639, 479), 40);
    EXPECT_EQ(Back(0, 0), 40);
    EXPECT_EQ(Back(19, 19), 40);
    EXPECT_EQ(Back(20, 20), 1);
    EXPECT_EQ(Back(309, 209), 40);
    EXPECT_EQ(Back(310, 210), 1) << "only the 10x10 that exists is drawn";
}

TEST_F(Compositing, NothingIsDrawnWhileTheDisplayIsInactive) {
    display.windowSheet = Filled(640, 480, 7);
    display.systemSheet = Filled(542, 106, 8);
    Rect all = {0, 0, 640, 480};
    FillSurfaceRect(display.backBuffer, &all, 3);
    app.displayActive = 0;
    sprites[1] = {1, 0, 0, 0, 0, 10, 10, display.windowSheet};
    DrawBaseLayer(1);
    DrawSprites(1);
    ClearMessageBox(1);
    EXPECT_EQ(Back(0, 0), 3);
    int pitch;
    EXPECT_EQ(LockSurface(display.windowSheet, &pitch)[342 * pitch + 48], 7);
    FillScreenRect(1, 0, 0, 1, 1, 5);  // fills are not gated
    EXPECT_EQ(Back(0, 0), 5);
}

TEST_F(Compositing, AnimateSpriteChangesCellEveryPeriodPlusTwoCalls) {
    int sequence[42] = {0, 17, 18, 19, 18, 99};
    sequence[21] = 1;
    std::vector<int> seen;
    for (int call = 0; call < 7 * 6; ++call) {
        int before = sprites[5].srcLeft;
        AnimateSprite(1, sequence, 32, 32, 5, &sequence[0], &sequence[21], 5);
        if (sprites[5].srcLeft != before || call == 6) seen.push_back(sprites[5].srcLeft / 32);
        if (call % 7 != 6) {
            EXPECT_EQ(sprites[5].srcLeft, before) << "call " << call;
        }
    }
    EXPECT_EQ(seen, (std::vector<int>{17, 18, 19, 18, 17, 18}));
    EXPECT_EQ(sprites[5].srcRight - sprites[5].srcLeft, 32);
}

TEST_F(Compositing, ShakeLeavesBaseRectHomeAndCountsToFive) {
    display.windowSheet = Filled(640, 480, 60);
    ShakeScreen(1);
    EXPECT_EQ(spriteState.shakeFrame, 5);
    EXPECT_EQ(spriteState.baseRect.left, 0);
    EXPECT_EQ(spriteState.baseRect.top, 0);
    EXPECT_EQ(spriteState.baseRect.right, 640);
    EXPECT_EQ(spriteState.baseRect.bottom, 480);
}

TEST_F(Compositing, LostSurfacesAreRestoredAndSheetsRefilled) {
    std::string dir = MakeTempDir("restore");
    WriteFile(dir + "/GAME_W.bmp", MakeBmp(640, 480, std::vector<uint8_t>(640 * 480, 77)));
    std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    display.windowSheet = Filled(640, 480, 5);
    display.charSheet = Filled(20, 20, 6);
    Surface* oldChar = display.charSheet;
    sprites[2] = {1, 0, 0, 0, 0, 20, 20, oldChar};
    LoseAllSurfaces();
    DrawBaseLayer(1);  // meets the loss, restores, gives the blit up for this frame
    EXPECT_NE(display.windowSheet, nullptr);
    EXPECT_NE(display.charSheet, oldChar) << "the sheet holds a new surface with game_w";
    EXPECT_EQ(SurfaceWidth(display.charSheet), 640);
    EXPECT_EQ(sprites[2].surface, oldChar) << "slots keep the restored surface";
    DrawBaseLayer(1);
    EXPECT_EQ(Back(0, 0), 77);
    std::filesystem::current_path(cwd);
}

TEST_F(Compositing, ReleasedSurfacesNeverHoldTheFrame) {
    Surface* gone = Filled(10, 10, 3);
    ReleaseSurface(gone);
    sprites[9] = {1, 0, 0, 0, 0, 10, 10, gone};
    DrawSprites(1);  // gives up after a bounded number of tries
    EXPECT_EQ(LockSurface(gone, nullptr), nullptr);
}

TEST_F(Compositing, AfterReleaseEveryOperationDoesNothing) {
    display.windowSheet = Filled(640, 480, 5);
    DisplayRelease();
    display = DisplayState{};
    DrawBaseLayer(1);
    DrawSprites(1);
    FlipPage(1);
    ClearMessageBox(1);
    ShakeScreen(1);
    FadeInAllStep(1, 10);
    EXPECT_EQ(LoadSheet(&display.windowSheet, "game_w.BMP"), 0);
    EXPECT_EQ(LoadMasterPalette("system.BMP"), 0);
    SetSheetColorKeys(1);
}
}  // namespace
