// Graphics: display set-up and sheets, bitmap loading and palette capture, the sprite table with
// compositing and page flip, palette effects.
#pragma once
#include <cstdint>
#include <vector>
#include "platform/display.h"

// An animation sequence: the int array AnimateSprite steps (its counter at [0], its position at [21]).
using AnimationSequence = int[42];

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

// Where the four sheets' pictures came from, for the live reload: the file each was last loaded from
// and, while pictures are kept, its pixels as loaded (what the game drew on the sheet since differs).
struct SheetSources {
    char fileName[4][64];  // window, character, system, background; "" when unknown
    std::vector<uint8_t> loaded[4];
    int keepPictures;      // 1: keep each loaded picture's pixels (live reload only)
    char paletteFile[64];  // the master palette's last file
};
extern SheetSources sheetSources;

// Display set-up (display.cpp).
int InitDisplay(Window window);

// Pictures (sheets.cpp).
// Where a picture is looked for, in order, after the executable's resources: the working folder, its
// parent, the picture folder. The data checker looks in the same places.
extern const char* const PICTURE_FOLDERS[3];
int LoadSheet(Surface** sheet, const char* fileName);
int LoadMasterPalette(const char* fileName);
void SetSheetColorKeys(Window window);
// Live reload: a picture file was saved. Each sheet holding it takes the new picture, keeping what the
// game has drawn on the sheet since (same size) or re-pointing its sprites (new size); the master palette
// too when it came from that file. 1, or 0 with *why set when the file cannot be read (nothing changes).
int ReloadPicture(Window window, const char* fileName, const char** why);

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
