// Graphics: display set-up and sheets, bitmap loading and palette capture, the sprite table with
// compositing and page flip, palette effects.
#pragma once
#include <cstdint>
#include "platform/display.h"

constexpr int COLOR_KEY = 9;  // the transparent palette index of every sheet

struct DisplayState {
    int device;            // 1 while the display device exists
    Surface* primary;
    Surface* backBuffer;   // part of the primary's chain, never released on its own
    Clipper* clipper;
    Surface* windowSheet;
    Surface* charSheet;
    Surface* systemSheet;
    Surface* bgSheet;
    Palette* displayPalette;
    PaletteEntry masterPalette[256];
};
extern DisplayState display;

struct SpriteSlot {
    int active;  // 1 = drawn
    int destX, destY;
    int srcLeft, srcTop, srcRight, srcBottom;
    Surface* surface;
};

struct SpriteState {
    SpriteSlot sprites[256];
    Rect baseRect;
    int shakeFrame;
};
extern SpriteState spriteState;
inline SpriteSlot* const sprites = spriteState.sprites;

// Display set-up (display.cpp).
int InitDisplay(Window window);

// Pictures (sheets.cpp).
// Where a picture is looked for, in order, after the executable's resources: the working folder, its
// parent, the picture folder. The data checker looks in the same places.
extern const char* const PICTURE_FOLDERS[3];
int LoadSheet(Surface** sheet, const char* fileName);
int LoadMasterPalette(const char* fileName);
void SetSheetColorKeys(Window window);

// Compositing (sprites.cpp).
void DrawBaseLayer(Window window);
void DrawSprites(Window window);
void FlipPage(Window window);
SurfaceResult RestoreSurfaces(Window window);
void FillScreenRect(Window window, int left, int top, int right, int bottom, int colour);
void FillWindowSheetRect(Window window, int left, int top, int right, int bottom, int colour);
void ClearMessageBox(Window window);
void ShakeScreen(Window window);
void AnimateSprite(Window window, int* sequence, int cellWidth, int cellHeight, int period, int* counter,
                   int* position, int slot);

// Palette effects (palette.cpp).
void FadeOutStep(Window window, int step);
void FadeOutAllStep(Window window, int step);
void FadeOutOuterStep(Window window, int step);
void FadeInStep(Window window, int step);
void FadeInAllStep(Window window, int step);
void FadeInLowStep(Window window, int step);
void FadeInBandStep(Window window, int step);
void BlackOut(Window window);
void BlackOutAll(Window window);
