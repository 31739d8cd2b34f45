// The SDL backend's window and picture: opened full screen or in a window, the page uploaded through
// the palette and drawn scaled with its aspect kept, full screen switched, the icon set.
#include <algorithm>
#include <string>
#include <vector>
#include "platform/bitmap.h"
#include "platform/resources.h"
#include "platform/sdl/sdl.h"
#include "platform/window.h"

// sdl_x11.cpp (kept apart: Xlib's names clash with ours): sets _NET_WM_ICON when the window is on X11.
void SetX11WindowIcons(SDL_Window* window, const std::vector<unsigned long>& icons);

void SdlCloseWindow() {
    if (sdl.texture) SDL_DestroyTexture(sdl.texture);
    if (sdl.renderer) SDL_DestroyRenderer(sdl.renderer);
    if (sdl.window) SDL_DestroyWindow(sdl.window);
    sdl.texture = nullptr;
    sdl.renderer = nullptr;
    sdl.window = nullptr;
}

namespace {
// The icon's colour at (x, y) of a side x side copy, scaled with sharp pixels; the colour key is clear.
uint32_t IconPixel(const Bitmap* bitmap, int side, int x, int y) {
    uint8_t index = bitmap->pixels[(y * bitmap->height / side) * bitmap->width + x * bitmap->width / side];
    const uint8_t* rgb = bitmap->table[index];
    uint32_t alpha = index == 9 ? 0 : 0xFF;
    return alpha << 24 | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
}

// On X11 the window carries its icon at every size panels, task switchers and docks ask for.
void SetX11Icons(const Bitmap* bitmap) {
    std::vector<unsigned long> data;  // _NET_WM_ICON: width, height, ARGB pixels, for each size
    for (int side : {16, 32, 48, 64, 128, 256}) {
        data.push_back(unsigned(side));
        data.push_back(unsigned(side));
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) data.push_back(IconPixel(bitmap, side, x, y));
    }
    SetX11WindowIcons(sdl.window, data);
}

// The window icon, from the embedded 32x32 picture: SDL's one icon at 256 px, and every size on X11.
void SetIcon(const char* iconName) {
    uint32_t size = 0;
    const uint8_t* bytes = FindEmbeddedResource(iconName, "ICON", &size);
    Bitmap* bitmap = bytes ? DecodeBitmap(bytes, size) : nullptr;
    if (!bitmap) return;
    const int side = 256;
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, side, side, 32, SDL_PIXELFORMAT_ARGB8888);
    if (icon) {
        for (int y = 0; y < side; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(icon->pixels) + y * icon->pitch);
            for (int x = 0; x < side; ++x) row[x] = IconPixel(bitmap, side, x, y);
        }
        SDL_SetWindowIcon(sdl.window, icon);
        SDL_FreeSurface(icon);
    }
    SetX11Icons(bitmap);
    FreeBitmap(bitmap);
}

}  // namespace

int SdlOpenWindow(const char* caption, const char* iconName) {
    SDL_DisplayMode mode{};
    int refresh = SDL_GetDesktopDisplayMode(0, &mode) == 0 ? mode.refresh_rate : 0;
    sdl.windowedWidth = PAGE_WIDTH;
    sdl.windowedHeight = PAGE_HEIGHT;
    if (mode.w >= PAGE_WIDTH * 2 + 64 && mode.h >= PAGE_HEIGHT * 2 + 64) {
        sdl.windowedWidth *= 2;
        sdl.windowedHeight *= 2;
    }
    sdl.fullscreen = !sdl.options.window;
    Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI | SDL_WINDOW_RESIZABLE;
    int width = sdl.windowedWidth, height = sdl.windowedHeight;
    if (sdl.fullscreen) {
        // The whole desktop screen from (0, 0), so that even a desktop that ignores the full-screen
        // request shows the window at the right size.
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
        if (mode.w > 0 && mode.h > 0) {
            width = mode.w;
            height = mode.h;
        }
    }
    int position = sdl.fullscreen ? 0 : int(SDL_WINDOWPOS_CENTERED);
    sdl.window = SDL_CreateWindow(caption, position, position, width, height, flags);
    if (!sdl.window) {
        ReportFailure((std::string("cannot open the game window: ") + SDL_GetError()).c_str());
        return 0;
    }
    SdlChoosePacing(refresh);
    sdl.renderer = SDL_CreateRenderer(sdl.window, -1, sdl.pacing.vsync ? SDL_RENDERER_PRESENTVSYNC : 0);
    if (!sdl.renderer) sdl.renderer = SDL_CreateRenderer(sdl.window, -1, SDL_RENDERER_SOFTWARE);
    if (!sdl.renderer) {
        ReportFailure((std::string("cannot draw in the game window: ") + SDL_GetError()).c_str());
        SdlCloseWindow();
        return 0;
    }
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(sdl.renderer, &info);
    sdl.pacing.vsync = sdl.pacing.vsync && (info.flags & SDL_RENDERER_PRESENTVSYNC);
    sdl.texture = SDL_CreateTexture(sdl.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, PAGE_WIDTH,
                                    PAGE_HEIGHT);
    if (!sdl.texture) {
        ReportFailure((std::string("cannot make the game's picture: ") + SDL_GetError()).c_str());
        SdlCloseWindow();
        return 0;
    }
    SetIcon(iconName);
    SDL_ShowWindow(sdl.window);
    SDL_RaiseWindow(sdl.window);
    sdl.active = true;
    if (sdl.options.verbose)
        std::fprintf(stderr, "sdl: %s, display %d Hz, paced by %s\n", info.name ? info.name : "renderer", refresh,
                     sdl.pacing.vsync ? "vsync (to be checked)" : "timer");
    return 1;
}

void SdlHideCursor() { SDL_ShowCursor(SDL_DISABLE); }

// The page as large as the output allows with its shape kept (or the largest whole multiple with
// --scale integer), centred on black, pixels sharp.
void SdlDraw() {
    int outWidth = PAGE_WIDTH, outHeight = PAGE_HEIGHT;
    SDL_GetRendererOutputSize(sdl.renderer, &outWidth, &outHeight);
    SDL_RenderSetViewport(sdl.renderer, nullptr);
    SDL_Rect shown;
    int whole = std::min(outWidth / PAGE_WIDTH, outHeight / PAGE_HEIGHT);
    if (sdl.options.integerScale && whole >= 1) {
        shown.w = PAGE_WIDTH * whole;
        shown.h = PAGE_HEIGHT * whole;
    } else if (outWidth * PAGE_HEIGHT > outHeight * PAGE_WIDTH) {
        shown.h = outHeight;
        shown.w = outHeight * PAGE_WIDTH / PAGE_HEIGHT;
    } else {
        shown.w = outWidth;
        shown.h = outWidth * PAGE_HEIGHT / PAGE_WIDTH;
    }
    shown.x = (outWidth - shown.w) / 2;
    shown.y = (outHeight - shown.h) / 2;
    SDL_SetRenderDrawColor(sdl.renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl.renderer);
    SDL_RenderCopy(sdl.renderer, sdl.texture, nullptr, &shown);
    SDL_RenderPresent(sdl.renderer);
}

// While paused nothing else draws: the last page is shown again when the window needs it.
void SdlRepaint() {
    if (sdl.renderer && sdl.hasPage) SdlDraw();
}

void SdlToggleFullscreen() {
    if (!sdl.window) return;
    if (sdl.fullscreen) {
        SDL_SetWindowFullscreen(sdl.window, 0);
        SDL_SetWindowBordered(sdl.window, SDL_TRUE);
        SDL_SetWindowSize(sdl.window, sdl.windowedWidth, sdl.windowedHeight);
        SDL_SetWindowPosition(sdl.window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    } else {
        SDL_GetWindowSize(sdl.window, &sdl.windowedWidth, &sdl.windowedHeight);
        SDL_Rect bounds{};
        int display = std::max(0, SDL_GetWindowDisplayIndex(sdl.window));
        SDL_SetWindowBordered(sdl.window, SDL_FALSE);
        if (SDL_GetDisplayBounds(display, &bounds) == 0) {  // for desktops that ignore the request
            SDL_SetWindowPosition(sdl.window, bounds.x, bounds.y);
            SDL_SetWindowSize(sdl.window, bounds.w, bounds.h);
        }
        SDL_SetWindowFullscreen(sdl.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    sdl.fullscreen = !sdl.fullscreen;
    SdlRepaint();
}

namespace {
// The page through the palette into the texture.
void Upload(const uint8_t* pixels, int pitch, const PaletteEntry* palette) {
    uint32_t lookup[256];
    for (int i = 0; i < 256; ++i)
        lookup[i] = palette ? 0xFF000000u | uint32_t(palette[i].red) << 16 | uint32_t(palette[i].green) << 8 |
                                  palette[i].blue
                            : 0xFF000000u;
    void* target;
    int targetPitch;
    if (SDL_LockTexture(sdl.texture, nullptr, &target, &targetPitch) == 0) {
        for (int y = 0; y < PAGE_HEIGHT; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(target) + y * targetPitch);
            const uint8_t* from = pixels + y * pitch;
            for (int x = 0; x < PAGE_WIDTH; ++x) row[x] = lookup[from[x]];
        }
        SDL_UnlockTexture(sdl.texture);
        sdl.hasPage = true;
    } else {
        ForgetShown();
    }
}
}  // namespace

// A page and palette like the last ones are neither uploaded nor drawn again (unless the window needs
// it); the frame is still waited for.
void SdlPresent(const uint8_t* pixels, int pitch, const PaletteEntry* palette) {
    if (!sdl.renderer) return;
    bool same = SameAsShown(pixels, pitch, palette) && sdl.hasPage;
    if (!same) Upload(pixels, pitch, palette);
    SdlPaceFrame(!same || sdl.redraw);
    sdl.redraw = false;
}
