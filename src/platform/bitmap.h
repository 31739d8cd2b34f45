// Bitmaps: 8-bit Windows BMP pictures with their colour table. Used by LoadSheet and LoadMasterPalette.
#pragma once
#include <cstdint>

struct Bitmap {
    int width, height;
    uint8_t* pixels;  // width x height palette indices, top row first, no padding
    int colourCount;  // entries in the colour table, 0 to 256
    uint8_t table[256][3];  // red, green, blue
};

// The picture in a data file (found as FindDataFile does); null when missing or not an 8-bit BMP.
Bitmap* LoadBitmapFile(const char* name);
// The same from bytes in memory.
Bitmap* DecodeBitmap(const uint8_t* bytes, size_t size);
// A bitmap resource of the executable; the program carries none, so always null.
Bitmap* LoadBitmapResource(const char* name);
void FreeBitmap(Bitmap* bitmap);
