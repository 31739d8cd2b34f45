// Display and surfaces: the exclusive 640x480x8 display, 8-bit surfaces in memory, colour-key blits,
// fills, page flips, surface loss, palettes. Used by the graphics subsystem and text drawing.
// Every object belongs to the display device and is disposed of when the device is released.
#pragma once
#include <cstdint>
#include "platform/window.h"

struct Surface;
struct Palette;
struct Clipper;

struct PaletteEntry {
    uint8_t red, green, blue, flags;
};
constexpr uint8_t PALETTE_NOCOLLAPSE = 4;

struct Rect {
    int left, top, right, bottom;  // right and bottom exclusive
};

enum SurfaceResult {
    SURFACE_OK = 0,
    SURFACE_LOST,    // the surface (or one it reads) was lost: Restore, then redraw
    SURFACE_FAILED,  // any other refusal; may succeed if repeated
};

constexpr int BLIT_KEYSRC = 1;  // pixels equal to the source's colour key are not copied

// InitDisplay, step by step; each is 1 on success, 0 when refused.
int DisplayCreate();
int DisplaySetCooperativeLevel(Window window);
int DisplayQueryInterface();
int DisplaySetMode(int width, int height, int bitsPerPixel);
// InitDisplay: the flipping primary surface with its back buffers; null when refused.
Surface* CreatePrimarySurface(int backBufferCount);
// InitDisplay: the primary's back buffer; null when refused.
Surface* GetBackBuffer(Surface* primary);
// InitDisplay: a clipper bound to the window, attached to a surface; null / 0 when refused.
Clipper* CreateClipper();
int ClipperSetWindow(Clipper* clipper, Window window);
int SurfaceSetClipper(Surface* surface, Clipper* clipper);
// InitDisplay, LoadSheet: an off-screen 8-bit surface (contents zero); null when refused.
Surface* CreateSurface(int width, int height);
// Everyone: releases an object; null does nothing. A released surface draws and receives nothing.
void ReleaseSurface(Surface* surface);
void ReleasePalette(Palette* palette);
void ReleaseClipper(Clipper* clipper);
// ReleaseDisplay: releases the device and everything it made; ends exclusive mode.
void DisplayRelease();
// 1 while the device exists.
int DisplayExists();
// FatalError: why the display last refused a step, in English (kept after the release).
const char* DisplayFailure();

int SurfaceWidth(const Surface* surface);
int SurfaceHeight(const Surface* surface);
// Sets the source colour key (one palette index). 1, or 0 when refused.
int SetColorKey(Surface* surface, int index);
// Copies srcRect of src to dstRect of dst (same size; no scaling), indices unchanged. Both rectangles
// are cropped to their surfaces; a clipped destination is cropped to its clipper's screen.
SurfaceResult Blit(Surface* dst, const Rect* dstRect, Surface* src, const Rect* srcRect, int flags);
// Fills a rectangle of dst with one palette index.
SurfaceResult FillSurfaceRect(Surface* dst, const Rect* rect, int colourIndex);
// FlipPage: shows the back buffer through the primary's palette and waits for the next display frame.
SurfaceResult FlipSurface(Surface* primary);
// RestoreSurfaces: brings a lost surface back (its contents are gone). SURFACE_OK or a failure.
SurfaceResult RestoreSurface(Surface* surface);

// Palettes: 256 entries. The palette attached to the primary is the display palette.
Palette* CreateSurfacePalette(const PaletteEntry entries[256]);
int AttachPalette(Surface* surface, Palette* palette);
int ReadPaletteEntries(Palette* palette, PaletteEntry out[256]);
int WritePaletteEntries(Palette* palette, const PaletteEntry in[256]);
// The palette attached to a surface (its colour table), or null.
Palette* SurfacePalette(const Surface* surface);

// Direct pixel access (text drawing, tests). Null when the surface is lost or released.
uint8_t* LockSurface(Surface* surface, int* pitch);
void UnlockSurface(Surface* surface);
