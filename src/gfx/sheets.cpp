// Loading pictures into sheets, capturing the master palette, the sheets' colour keys.
#include <cstdio>
#include <string>
#include "app/app.h"
#include "gfx/gfx.h"
#include "platform/bitmap.h"
#include "platform/files.h"

SheetSources sheetSources;
const char* const PICTURE_FOLDERS[3] = {"", "..\\", "bmp\\"};

namespace {
// The index of a sheet variable in sheetSources, or -1 for any other surface reference.
int SheetIndex(Surface** sheet) {
    Surface** sheets[] = {&display.windowSheet, &display.charSheet, &display.systemSheet, &display.bgSheet};
    for (int i = 0; i < 4; ++i)
        if (sheet == sheets[i]) return i;
    return -1;
}

void Remember(char (&to)[64], const char* name) { std::snprintf(to, sizeof to, "%s", name); }

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
        table[i] = {bitmap->table[i][0], bitmap->table[i][1], bitmap->table[i][2], PALETTE_NOCOLLAPSE};
    AttachPalette(surface, CreateSurfacePalette(table));
    int pitch = 0;
    uint8_t* pixels = LockSurface(surface, &pitch);
    if (pixels) {
        for (int y = 0; y < bitmap->height; ++y)
            for (int x = 0; x < bitmap->width; ++x) pixels[y * pitch + x] = bitmap->pixels[y * bitmap->width + x];
        UnlockSurface(surface);
    }
    int index = SheetIndex(sheet);
    if (index >= 0) {
        Remember(sheetSources.fileName[index], fileName);
        if (sheetSources.keepPictures) sheetSources.loaded[index] = std::vector<uint8_t>(bitmap->pixels, bitmap->pixels + size_t(bitmap->width) * bitmap->height);
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
            display.masterPalette[i] = {bitmap->table[i][0], bitmap->table[i][1], bitmap->table[i][2],
                                        PALETTE_NOCOLLAPSE};
    }
    FreeBitmap(bitmap);
    Palette* palette = CreateSurfacePalette(display.masterPalette);
    if (!palette) return FatalError(app.mainWindow);
    display.displayPalette = palette;
    if (!AttachPalette(display.primary, palette)) return FatalError(app.mainWindow);
    Remember(sheetSources.paletteFile, fileName);
    return 1;
}

void SetSheetColorKeys(Window) {
    if (!display.device) return;
    Surface* sheets[] = {display.windowSheet, display.charSheet, display.systemSheet, display.bgSheet};
    for (Surface* sheet : sheets)
        if (sheet) SetColorKey(sheet, COLOR_KEY);
}

namespace {
// The same file, whatever the case of its name and wherever it was found ("bmp/", "..\\").
bool SameFile(const char* held, const char* saved) {
    auto base = [](const char* name) {
        const char* b = name;
        for (const char* p = name; *p; ++p)
            if (*p == '/' || *p == '\\') b = p + 1;
        return b;
    };
    return *held && SameNameIgnoringCase(base(held), base(saved));
}

// A sheet takes a new picture of its own size: the pixels the game has not drawn over take the new ones.
void TakeSameSize(int index, Surface* sheet, const Bitmap* bitmap) {
    int pitch = 0;
    uint8_t* pixels = LockSurface(sheet, &pitch);
    if (!pixels) return;
    const std::vector<uint8_t>& before = sheetSources.loaded[index];
    for (int y = 0; y < bitmap->height; ++y)
        for (int x = 0; x < bitmap->width; ++x) {
            size_t at = size_t(y) * bitmap->width + x;
            if (pixels[y * pitch + x] == before[at]) pixels[y * pitch + x] = bitmap->pixels[at];
        }
    UnlockSurface(sheet);
}
}  // namespace

int ReloadPicture(Window window, const char* fileName, const char** why) {
    Bitmap* bitmap = LoadBitmapFile(fileName);  // the file as saved, wherever it lies
    if (!bitmap) {
        *why = "not an 8-bit picture the game can read";
        return 0;
    }
    Surface** sheets[] = {&display.windowSheet, &display.charSheet, &display.systemSheet, &display.bgSheet};
    PaletteEntry table[256] = {};
    for (int i = 0; i < bitmap->colourCount; ++i)
        table[i] = {bitmap->table[i][0], bitmap->table[i][1], bitmap->table[i][2], PALETTE_NOCOLLAPSE};
    for (int index = 0; index < 4 && display.device; ++index) {
        Surface* old = *sheets[index];
        if (!old || !SameFile(sheetSources.fileName[index], fileName)) continue;
        bool sameSize = SurfaceWidth(old) == bitmap->width && SurfaceHeight(old) == bitmap->height &&
                        sheetSources.loaded[index].size() == size_t(bitmap->width) * bitmap->height;
        if (sameSize) {
            TakeSameSize(index, old, bitmap);
            if (Palette* own = SurfacePalette(old)) WritePaletteEntries(own, table);
            sheetSources.loaded[index].assign(bitmap->pixels, bitmap->pixels + size_t(bitmap->width) * bitmap->height);
            continue;
        }
        Surface* fresh = nullptr;
        char name[64];
        Remember(name, sheetSources.fileName[index]);
        if (!LoadSheet(&fresh, name)) continue;
        for (SpriteSlot& slot : spriteState.sprites)
            if (slot.surface == old) slot.surface = fresh;
        ReleaseSurface(old);
        *sheets[index] = fresh;
        SetColorKey(fresh, COLOR_KEY);
        sheetSources.loaded[index].assign(bitmap->pixels, bitmap->pixels + size_t(bitmap->width) * bitmap->height);
    }
    if (display.device && display.displayPalette && SameFile(sheetSources.paletteFile, fileName)) {
        // Entries shown at their full colour take the new colour; faded ones fade toward it.
        PaletteEntry shown[256];
        if (ReadPaletteEntries(display.displayPalette, shown)) {
            for (int i = 0; i < 255 && i < bitmap->colourCount; ++i) {
                PaletteEntry& m = display.masterPalette[i];
                PaletteEntry& e = shown[i];
                bool full = e.red == m.red && e.green == m.green && e.blue == m.blue;
                m = table[i];
                if (full) e = {m.red, m.green, m.blue, e.flags};
            }
            WritePaletteEntries(display.displayPalette, shown);
        }
    }
    FreeBitmap(bitmap);
    (void)window;
    return 1;
}
