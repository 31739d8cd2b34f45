// Composing each frame: the base layer, the sprite table, the flip; lost-surface recovery; fills, the
// message-box refresh, the screen shake and sprite-cell animation.
#include "app/app.h"
#include "gfx/gfx.h"

SpriteState spriteState;

namespace {
// A call that keeps failing with anything but a lost surface is given up after this many tries.
constexpr int MAX_TRIES = 8;

// Runs a drawing call until it succeeds; a lost surface is restored and the call given up for the frame.
template <typename Call>
void Guarded(Window window, Call call) {
    for (int tries = 0; tries < MAX_TRIES; ++tries) {
        SurfaceResult result = call();
        if (result == SURFACE_OK) return;
        if (result == SURFACE_LOST && RestoreSurfaces(window) == SURFACE_OK) return;
    }
}

constexpr Rect SCREEN = {0, 0, 640, 480};

const Rect shakeOffsets[5] = {
    {40, -40, 680, 440}, {-40, -40, 600, 440}, {40, 40, 680, 520}, {-40, 40, 600, 520}, {0, 0, 640, 480},
};
}  // namespace

void DrawBaseLayer(Window window) {
    if (!app.displayActive || !display.backBuffer || !display.windowSheet) return;
    Guarded(window, [] {
        return Blit(display.backBuffer, &spriteState.baseRect, display.windowSheet, &SCREEN, BLIT_KEYSRC);
    });
}

void DrawSprites(Window window) {
    for (int i = 0; i < 256; ++i) {
        const SpriteSlot& slot = sprites[i];
        if (slot.active != 1) continue;
        if (!app.displayActive || !display.backBuffer) return;
        if (!slot.surface) continue;
        Rect source = {slot.srcLeft, slot.srcTop, slot.srcRight, slot.srcBottom};
        Rect target = {slot.destX, slot.destY, slot.destX + slot.srcRight - slot.srcLeft,
                       slot.destY + slot.srcBottom - slot.srcTop};
        Guarded(window, [&] { return Blit(display.backBuffer, &target, slot.surface, &source, BLIT_KEYSRC); });
    }
}

void FlipPage(Window window) {
    if (!display.primary) return;
    Guarded(window, [] { return FlipSurface(display.primary); });
}

SurfaceResult RestoreSurfaces(Window) {
    if (!display.primary) return SURFACE_FAILED;
    SurfaceResult result = RestoreSurface(display.primary);
    if (result != SURFACE_OK) return result;
    Surface** sheets[] = {&display.windowSheet, &display.charSheet, &display.systemSheet, &display.bgSheet};
    for (Surface** sheet : sheets) {
        if (!*sheet) continue;
        result = RestoreSurface(*sheet);
        if (result == SURFACE_OK) LoadSheet(sheet, "game_w.BMP");
    }
    return result;
}

void FillScreenRect(Window window, int left, int top, int right, int bottom, int colour) {
    if (!display.backBuffer) return;
    Rect rect = {left, top, right, bottom};
    Guarded(window, [&] { return FillSurfaceRect(display.backBuffer, &rect, colour); });
}

void FillWindowSheetRect(Window window, int left, int top, int right, int bottom, int colour) {
    if (!display.windowSheet) return;
    Rect rect = {left, top, right, bottom};
    Guarded(window, [&] { return FillSurfaceRect(display.windowSheet, &rect, colour); });
}

void ClearMessageBox(Window window) {
    if (!app.displayActive || !display.windowSheet || !display.systemSheet) return;
    const Rect target = {48, 342, 590, 448}, source = {0, 0, 542, 106};
    Guarded(window, [&] { return Blit(display.windowSheet, &target, display.systemSheet, &source, BLIT_KEYSRC); });
}

void ShakeScreen(Window window) {
    FillScreenRect(window, 0, 0, 640, 480, 127);
    for (spriteState.shakeFrame = 0; spriteState.shakeFrame < 5; ++spriteState.shakeFrame) {
        spriteState.baseRect = shakeOffsets[spriteState.shakeFrame];
        if (!app.displayActive) return;
        if (display.backBuffer && display.windowSheet)
            Guarded(window, [] {
                return Blit(display.backBuffer, &spriteState.baseRect, display.windowSheet, &SCREEN, BLIT_KEYSRC);
            });
        FlipPage(window);
    }
}

void AnimateSprite(Window, int* sequence, int cellWidth, int cellHeight, int period, int* counter, int* position,
                   int slot) {
    if (*counter > period) {
        if (*position < 1 || *position > 20 || sequence[*position] == 99) *position = 1;
        SpriteSlot& sprite = sprites[slot];
        sprite.srcLeft = sequence[*position] * cellWidth;
        sprite.srcRight = sprite.srcLeft + cellWidth;
        sprite.srcTop = sequence[*position + 21] * cellHeight;
        sprite.srcBottom = sprite.srcTop + cellHeight;
        *position += 1;
        *counter = 0;
    } else {
        *counter += 1;
    }
}
