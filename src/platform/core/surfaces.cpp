// The display device and its objects: 8-bit surfaces in memory, palettes and the clipper.
// Shared by every backend; a backend only shows the primary's page through its palette.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/display.h"
#include "platform/platform.h"

constexpr int SCREEN_WIDTH = 640, SCREEN_HEIGHT = 480;

struct Palette {
    PaletteEntry entries[256];
    bool released;
};

struct Clipper {
    Window window;
    bool released;
};

struct Surface {
    int width, height;
    std::vector<uint8_t> pixels;  // width x height, no padding
    bool released, lost, hasKey, isPrimary;
    uint8_t key;
    Palette* palette;
    Clipper* clipper;
    Surface* backBuffer;  // the primary's
};

namespace {
struct DeviceRecord {
    bool exists, cooperative, mode;
    std::vector<std::unique_ptr<Surface>> surfaces;
    std::vector<std::unique_ptr<Palette>> palettes;
    std::vector<std::unique_ptr<Clipper>> clippers;
    Surface* primary;
    int waitsForFrames = 1;
};
DeviceRecord device;
std::string displayRefusal;  // outlives the device: FatalError reports it after the release

bool Alive(const Surface* s) { return s && !s->released; }

Surface* NewSurface(int width, int height) {
    auto surface = std::make_unique<Surface>();
    surface->width = width;
    surface->height = height;
    surface->pixels.assign(size_t(width) * height, 0);
    device.surfaces.push_back(std::move(surface));
    return device.surfaces.back().get();
}

// Crops a copy of w x h pixels from (sx, sy) to (dx, dy) to both surfaces; false when nothing is left.
bool Crop(const Surface* dst, const Surface* src, int& dx, int& dy, int& sx, int& sy, int& w, int& h) {
    if (sx < 0) { dx -= sx; w += sx; sx = 0; }
    if (sy < 0) { dy -= sy; h += sy; sy = 0; }
    w = std::min(w, src->width - sx);
    h = std::min(h, src->height - sy);
    int right = dst->width, bottom = dst->height;
    if (dst->clipper) {  // the clipper bounds every blit by the screen
        right = std::min(right, SCREEN_WIDTH);
        bottom = std::min(bottom, SCREEN_HEIGHT);
    }
    if (dx < 0) { sx -= dx; w += dx; dx = 0; }
    if (dy < 0) { sy -= dy; h += dy; dy = 0; }
    w = std::min(w, right - dx);
    h = std::min(h, bottom - dy);
    return w > 0 && h > 0;
}

void CopyRowKeyed(uint8_t* to, const uint8_t* from, int count, uint8_t key) {
    int i = 0;
#if defined(__SSE2__)
    const __m128i keys = _mm_set1_epi8(char(key));
    for (; i + 16 <= count; i += 16) {  // sixteen pixels at a time: keep the target where the source is the key
        __m128i source = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i));
        __m128i target = _mm_loadu_si128(reinterpret_cast<const __m128i*>(to + i));
        __m128i keyed = _mm_cmpeq_epi8(source, keys);
        __m128i result = _mm_or_si128(_mm_and_si128(keyed, target), _mm_andnot_si128(keyed, source));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), result);
    }
#endif
    for (; i < count; ++i)
        if (from[i] != key) to[i] = from[i];
}

// Eight bytes of a page written for someone else to read (a capture): on x86-64 past the caches, so that
// the write does not first read each line of the target.
inline void Put64(uint8_t* at, uint64_t value) {
#if defined(__SSE2__) && defined(__x86_64__)
    _mm_stream_si64(reinterpret_cast<long long*>(at), static_cast<long long>(value));
#else
    std::memcpy(at, &value, 8);
#endif
}
}  // namespace

int DisplayCreate() {
    if (device.exists || FaultRefuses("display:create")) return 0;
    device = DeviceRecord{};
    device.exists = true;
    displayRefusal.clear();
    return 1;
}

int DisplaySetCooperativeLevel(Window window) {
    if (!device.exists || !window || FaultRefuses("display:cooperative")) return 0;
    device.cooperative = true;
    return 1;
}

int DisplayQueryInterface() { return (device.exists && !FaultRefuses("display:interface")) ? 1 : 0; }

int DisplaySetMode(int width, int height, int bitsPerPixel) {
    if (!device.exists || !device.cooperative || FaultRefuses("display:mode")) return 0;
    if (width != SCREEN_WIDTH || height != SCREEN_HEIGHT || bitsPerPixel != 8) {
        NoteDisplayRefusal("the display has no " + std::to_string(width) + "x" + std::to_string(height) + "x" +
                           std::to_string(bitsPerPixel) + " mode");
        return 0;
    }
    device.mode = true;
    return 1;
}

Surface* CreatePrimarySurface(int backBufferCount) {
    if (!device.exists || !device.mode || device.primary || backBufferCount != 1 ||
        FaultRefuses("display:primary"))
        return nullptr;
    Surface* primary = NewSurface(SCREEN_WIDTH, SCREEN_HEIGHT);
    primary->isPrimary = true;
    primary->backBuffer = NewSurface(SCREEN_WIDTH, SCREEN_HEIGHT);
    device.primary = primary;
    return primary;
}

Surface* GetBackBuffer(Surface* primary) {
    if (!Alive(primary) || !primary->isPrimary || FaultRefuses("display:backbuffer")) return nullptr;
    return primary->backBuffer;
}

Clipper* CreateClipper() {
    if (!device.exists || FaultRefuses("display:clipper")) return nullptr;
    device.clippers.push_back(std::make_unique<Clipper>());
    return device.clippers.back().get();
}

int ClipperSetWindow(Clipper* clipper, Window window) {
    if (!clipper || clipper->released || !window) return 0;
    clipper->window = window;
    return 1;
}

int SurfaceSetClipper(Surface* surface, Clipper* clipper) {
    if (!Alive(surface) || !clipper || clipper->released) return 0;
    surface->clipper = clipper;
    return 1;
}

Surface* CreateSurface(int width, int height) {
    if (!device.exists || width <= 0 || height <= 0 || width > 8192 || height > 8192 ||
        FaultRefuses("display:sheet"))
        return nullptr;
    return NewSurface(width, height);
}

void ReleaseSurface(Surface* surface) {
    if (!surface || surface->released) return;
    surface->released = true;
    std::vector<uint8_t>().swap(surface->pixels);  // the memory itself goes, not only the contents
    if (surface->isPrimary) {
        ReleaseSurface(surface->backBuffer);
        if (device.primary == surface) device.primary = nullptr;
    }
}

void ReleasePalette(Palette* palette) {
    if (palette) palette->released = true;
}

void ReleaseClipper(Clipper* clipper) {
    if (clipper) clipper->released = true;
}

void DisplayRelease() {
    int waits = device.waitsForFrames;
    device = DeviceRecord{};
    device.waitsForFrames = waits;
}

int DisplayExists() { return device.exists ? 1 : 0; }

void NoteDisplayRefusal(const std::string& reason) { displayRefusal = reason; }

const char* DisplayFailure() {
    return displayRefusal.empty() ? "the display could not be set up" : displayRefusal.c_str();
}

int SurfaceWidth(const Surface* surface) { return Alive(surface) ? surface->width : 0; }
int SurfaceHeight(const Surface* surface) { return Alive(surface) ? surface->height : 0; }

int SetColorKey(Surface* surface, int index) {
    if (!Alive(surface) || index < 0 || index > 255 || FaultRefuses("display:colorkey")) return 0;
    surface->hasKey = true;
    surface->key = uint8_t(index);
    return 1;
}

SurfaceResult Blit(Surface* dst, const Rect* dstRect, Surface* src, const Rect* srcRect, int flags) {
    if (!Alive(dst) || !Alive(src) || !dstRect || !srcRect) return SURFACE_FAILED;
    if (dst->lost || src->lost) return SURFACE_LOST;
    int w = std::min(srcRect->right - srcRect->left, dstRect->right - dstRect->left);
    int h = std::min(srcRect->bottom - srcRect->top, dstRect->bottom - dstRect->top);
    int dx = dstRect->left, dy = dstRect->top, sx = srcRect->left, sy = srcRect->top;
    if (!Crop(dst, src, dx, dy, sx, sy, w, h)) return SURFACE_OK;
    bool keyed = (flags & BLIT_KEYSRC) && src->hasKey;
    for (int row = 0; row < h; ++row) {
        uint8_t* to = dst->pixels.data() + size_t(dy + row) * dst->width + dx;
        const uint8_t* from = src->pixels.data() + size_t(sy + row) * src->width + sx;
        if (keyed)
            CopyRowKeyed(to, from, w, src->key);
        else
            std::memmove(to, from, size_t(w));
    }
    return SURFACE_OK;
}

SurfaceResult FillSurfaceRect(Surface* dst, const Rect* rect, int colourIndex) {
    if (!Alive(dst) || !rect) return SURFACE_FAILED;
    if (dst->lost) return SURFACE_LOST;
    int left = std::max(rect->left, 0), top = std::max(rect->top, 0);
    int right = std::min(rect->right, dst->width), bottom = std::min(rect->bottom, dst->height);
    if (dst->clipper) {
        right = std::min(right, SCREEN_WIDTH);
        bottom = std::min(bottom, SCREEN_HEIGHT);
    }
    for (int y = top; y < bottom && left < right; ++y)
        std::memset(dst->pixels.data() + size_t(y) * dst->width + left, uint8_t(colourIndex), size_t(right - left));
    return SURFACE_OK;
}

SurfaceResult FlipSurface(Surface* primary) {
    if (!Alive(primary) || !primary->isPrimary || !Alive(primary->backBuffer)) return SURFACE_FAILED;
    if (primary->lost || primary->backBuffer->lost) return SURFACE_LOST;
    primary->pixels.swap(primary->backBuffer->pixels);
    if (device.waitsForFrames) {
        const PaletteEntry* palette =
            (primary->palette && !primary->palette->released) ? primary->palette->entries : nullptr;
        static std::vector<uint8_t> shown(size_t(SCREEN_WIDTH) * SCREEN_HEIGHT);
        PaletteEntry shownPalette[256];
        if (ComposeOverlay(primary->pixels.data(), primary->width, palette, shown.data(), shownPalette))
            CurrentBackend()->present(shown.data(), SCREEN_WIDTH, shownPalette);
        else
            CurrentBackend()->present(primary->pixels.data(), primary->width, palette);
    } else {
        NoteUnshownFlip();
    }
    return SURFACE_OK;
}

SurfaceResult RestoreSurface(Surface* surface) {
    if (!Alive(surface)) return SURFACE_FAILED;
    surface->lost = false;
    if (surface->isPrimary && Alive(surface->backBuffer)) surface->backBuffer->lost = false;
    return SURFACE_OK;
}

Palette* CreateSurfacePalette(const PaletteEntry entries[256]) {
    if (!device.exists) return nullptr;
    auto palette = std::make_unique<Palette>();
    std::memcpy(palette->entries, entries, sizeof palette->entries);
    device.palettes.push_back(std::move(palette));
    return device.palettes.back().get();
}

int AttachPalette(Surface* surface, Palette* palette) {
    if (!Alive(surface) || (palette && palette->released)) return 0;
    if (surface->isPrimary &&
        (FaultRefuses("display:palette") || FaultTakeAtFrame("palette", PlatformFrameNumber())))
        return 0;
    surface->palette = palette;
    return 1;
}

int ReadPaletteEntries(Palette* palette, PaletteEntry out[256]) {
    if (!palette || palette->released) return 0;
    std::memcpy(out, palette->entries, sizeof palette->entries);
    return 1;
}

int WritePaletteEntries(Palette* palette, const PaletteEntry in[256]) {
    if (!palette || palette->released) return 0;
    std::memcpy(palette->entries, in, sizeof palette->entries);
    return 1;
}

Palette* SurfacePalette(const Surface* surface) {
    return (Alive(surface) && surface->palette && !surface->palette->released) ? surface->palette : nullptr;
}

uint8_t* LockSurface(Surface* surface, int* pitch) {
    if (!Alive(surface) || surface->lost) return nullptr;
    if (pitch) *pitch = surface->width;
    return surface->pixels.data();
}

void UnlockSurface(Surface*) {}

Surface* PrimarySurfaceInUse() { return Alive(device.primary) ? device.primary : nullptr; }

const PaletteEntry* DisplayPaletteEntries() {
    Palette* palette = device.primary ? SurfacePalette(device.primary) : nullptr;
    return palette ? palette->entries : nullptr;
}

void LoseAllSurfaces() {
    for (auto& surface : device.surfaces) {
        if (surface->released) continue;
        surface->lost = true;
        std::fill(surface->pixels.begin(), surface->pixels.end(), 0);
    }
}

void SetDisplayWaitsForFrames(int waits) { device.waitsForFrames = waits; }

int CapturePage(uint8_t* rgb) {
    Surface* primary = PrimarySurfaceInUse();
    const PaletteEntry* palette = DisplayPaletteEntries();
    if (!primary || primary->lost || !palette) {
        std::memset(rgb, 0, size_t(SCREEN_WIDTH) * SCREEN_HEIGHT * 3);
        return 0;
    }
    const uint8_t* page = primary->pixels.data();
    static std::vector<uint8_t> shown(size_t(SCREEN_WIDTH) * SCREEN_HEIGHT);
    PaletteEntry shownPalette[256];
    if (ComposeOverlay(page, primary->width, palette, shown.data(), shownPalette)) {
        page = shown.data();
        palette = shownPalette;
    }
    uint64_t lookup[256];
    for (int i = 0; i < 256; ++i)
        lookup[i] = palette[i].red | uint32_t(palette[i].green) << 8 | uint32_t(palette[i].blue) << 16;
    // Eight pixels at a time, packed into three little-endian 8-byte words: red, green, blue, red, ...
    size_t count = size_t(SCREEN_WIDTH) * SCREEN_HEIGHT, i = 0;
    for (; i + 8 <= count; i += 8, rgb += 24) {
        const uint8_t* p = page + i;
        uint64_t c0 = lookup[p[0]], c1 = lookup[p[1]], c2 = lookup[p[2]], c3 = lookup[p[3]];
        uint64_t c4 = lookup[p[4]], c5 = lookup[p[5]], c6 = lookup[p[6]], c7 = lookup[p[7]];
        Put64(rgb, c0 | c1 << 24 | c2 << 48);
        Put64(rgb + 8, c2 >> 16 | c3 << 8 | c4 << 32 | c5 << 56);
        Put64(rgb + 16, c5 >> 8 | c6 << 16 | c7 << 40);
    }
#if defined(__SSE2__) && defined(__x86_64__)
    _mm_sfence();
#endif
    for (; i < count; ++i, rgb += 3) {
        uint64_t colour = lookup[page[i]];
        rgb[0] = uint8_t(colour);
        rgb[1] = uint8_t(colour >> 8);
        rgb[2] = uint8_t(colour >> 16);
    }
    return 1;
}
