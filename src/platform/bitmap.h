// Bitmaps: 8-bit Windows BMP pictures with their colour table. Used by LoadSheet and LoadMasterPalette.
#pragma once
#include <cstddef>
#include <cstdint>

// The widest and highest picture that is loaded. No sheet shows more than the 640x480 screen; the
// bound leaves room for spare margins and keeps any one picture at 1 MiB of pixels, whatever its file
// claims. Larger pictures are not loaded, like broken ones.
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr int MAX_PICTURE_SIDE = 1024;
#else
constexpr int MAX_PICTURE_SIDE = 256;  // fuzzers: small inputs reach the limits
#endif
// Picture files larger than this are not read: even stored as single-pixel runs, the largest picture
// takes less than half of it.
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr size_t MAX_PICTURE_FILE_BYTES = size_t(8) << 20;
#else
constexpr size_t MAX_PICTURE_FILE_BYTES = size_t(64) << 10;
#endif

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
