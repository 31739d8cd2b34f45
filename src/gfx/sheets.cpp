// Loading pictures into sheets, capturing the master palette, the sheets' colour keys.
#include <cstdio>
#include <string>
#include "app/app.h"
#include "gfx/gfx.h"
#include "platform/bitmap.h"

const char* const PICTURE_FOLDERS[3] = {"", "..\\", "bmp\\"};

namespace {
// The picture as a resource, in the working folder, in its parent, then in the picture folder.
Bitmap* FindBitmap(const char* fileName) {
    if (Bitmap* bitmap = LoadBitmapResource(fileName)) return bitmap;
    for (const char* prefix : PICTURE_FOLDERS) {
        char path[260];
        if (std::snprintf(path, sizeof path, "%s%s", prefix, fileName) >= int(sizeof path)) continue;
        if (Bitmap* bitmap = LoadBitmapFile(path)) return bitmap;
    }
    return nullptr;
}
}  // namespace

int LoadSheet(Surface** sheet, const char* fileName) {
    if (!display.device) return 0;
    Bitmap* bitmap = FindBitmap(fileName);
    if (!bitmap) return 0;
    Surface* surface = CreateSurface(bitmap->width, bitmap->height);
    if (!surface) {
        FreeBitmap(bitmap);
        return 0;
    }
    PaletteEntry table[256] = {};
    for (int i = 0; i < bitmap->colourCount; ++i)
        table[i] = {bitmap->table[i][0], bitmap->table[i][1], bitmap->table[i][2], PC_NOCOLLAPSE};
    AttachPalette(surface, CreatePalette(table));
    int pitch = 0;
    uint8_t* pixels = LockSurface(surface, &pitch);
    if (pixels) {
        for (int y = 0; y < bitmap->height; ++y)
            for (int x = 0; x < bitmap->width; ++x) pixels[y * pitch + x] = bitmap->pixels[y * bitmap->width + x];
        UnlockSurface(surface);
    }
    FreeBitmap(bitmap);
    *sheet = surface;
    return 1;
}

int LoadMasterPalette(const char* fileName) {
    if (!display.device) return 0;
    Bitmap* bitmap = FindBitmap(fileName);
    if (!bitmap) return 0;
    for (int i = 0; i < 255; ++i) {
        if (i < bitmap->colourCount)
            display.masterPalette[i] = {bitmap->table[i][0], bitmap->table[i][1], bitmap->table[i][2], PC_NOCOLLAPSE};
    }
    FreeBitmap(bitmap);
    Palette* palette = CreatePalette(display.masterPalette);
    if (!palette) return FatalError(app.mainWindow);
    display.displayPalette = palette;
    if (!AttachPalette(display.primary, palette)) return FatalError(app.mainWindow);
    return 1;
}

void SetSheetColorKeys(Window) {
    if (!display.device) return;
    Surface* sheets[] = {display.windowSheet, display.charSheet, display.systemSheet, display.bgSheet};
    for (Surface* sheet : sheets)
        if (sheet) SetColorKey(sheet, COLOR_KEY);
}
