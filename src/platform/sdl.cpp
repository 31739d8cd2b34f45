// The real backend on SDL2: a desktop full-screen (or windowed) picture scaled with its aspect kept and
// sharp pixels, 60 frames per second (vsync on a 60 Hz display, a timer on any other), the keyboard.
#include <SDL.h>
#include <cstdio>
#include <ctime>
#include "platform/backend.h"
#include "platform/bitmap.h"
#include "platform/resources.h"
#include "platform/window.h"

namespace {
constexpr int WIDTH = 640, HEIGHT = 480;

struct SdlRecord {
    PlatformOptions options;
    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    bool vsync;
    uint64_t nextFrame;  // performance-counter deadline of the next frame when paced by the timer
    bool focusLost;      // the keyboard was taken away since the last read
    bool acquired;
    uint32_t startTicks;
};
SdlRecord sdl;

int Start(const PlatformOptions& options, std::string* error) {
    sdl = SdlRecord{};
    sdl.options = options;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
        *error = std::string("cannot open the display: ") + SDL_GetError();
        return 0;
    }
    sdl.startTicks = SDL_GetTicks();
    return 1;
}

void CloseWindow() {
    if (sdl.texture) SDL_DestroyTexture(sdl.texture);
    if (sdl.renderer) SDL_DestroyRenderer(sdl.renderer);
    if (sdl.window) SDL_DestroyWindow(sdl.window);
    sdl.texture = nullptr;
    sdl.renderer = nullptr;
    sdl.window = nullptr;
}

void Stop() {
    CloseWindow();
    SDL_Quit();
}

void SetIcon(const char* iconName) {
    uint32_t size = 0;
    const uint8_t* bytes = FindResource(iconName, "ICON", &size);
    Bitmap* bitmap = bytes ? DecodeBitmap(bytes, size) : nullptr;
    if (!bitmap) return;
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormat(0, bitmap->width, bitmap->height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (icon) {
        for (int y = 0; y < bitmap->height; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(icon->pixels) + y * icon->pitch);
            for (int x = 0; x < bitmap->width; ++x) {
                uint8_t index = bitmap->pixels[y * bitmap->width + x];
                const uint8_t* rgb = bitmap->table[index];
                uint32_t alpha = index == 9 ? 0 : 0xFF;  // the colour key is transparent in the icon too
                row[x] = alpha << 24 | uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
            }
        }
        SDL_SetWindowIcon(sdl.window, icon);
        SDL_FreeSurface(icon);
    }
    FreeBitmap(bitmap);
}

int OpenWindow(const char* caption, const char* iconName) {
    SDL_DisplayMode mode{};
    int refresh = SDL_GetDesktopDisplayMode(0, &mode) == 0 ? mode.refresh_rate : 0;
    Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI;
    int width = WIDTH, height = HEIGHT;
    if (sdl.options.window) {
        flags |= SDL_WINDOW_RESIZABLE;
        if (mode.w >= WIDTH * 2 + 64 && mode.h >= HEIGHT * 2 + 64) {
            width *= 2;
            height *= 2;
        }
    } else {
        // The whole desktop screen from (0, 0), so that even a desktop that ignores the full-screen
        // request shows the window at the right size.
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
        if (mode.w > 0 && mode.h > 0) {
            width = mode.w;
            height = mode.h;
        }
    }
    int position = sdl.options.window ? int(SDL_WINDOWPOS_CENTERED) : 0;
    sdl.window = SDL_CreateWindow(caption, position, position, width, height, flags);
    if (!sdl.window) return 0;
    sdl.vsync = refresh >= 59 && refresh <= 61;
    sdl.renderer = SDL_CreateRenderer(sdl.window, -1, sdl.vsync ? SDL_RENDERER_PRESENTVSYNC : 0);
    if (!sdl.renderer) sdl.renderer = SDL_CreateRenderer(sdl.window, -1, SDL_RENDERER_SOFTWARE);
    if (!sdl.renderer) {
        CloseWindow();
        return 0;
    }
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(sdl.renderer, &info);
    sdl.vsync = sdl.vsync && (info.flags & SDL_RENDERER_PRESENTVSYNC);
    sdl.texture = SDL_CreateTexture(sdl.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, WIDTH, HEIGHT);
    if (!sdl.texture) {
        CloseWindow();
        return 0;
    }
    SetIcon(iconName);
    SDL_ShowWindow(sdl.window);
    SDL_RaiseWindow(sdl.window);
    if (sdl.options.verbose)
        std::fprintf(stderr, "sdl: %s, display %d Hz, paced by %s\n", info.name ? info.name : "renderer", refresh,
                     sdl.vsync ? "vsync" : "timer");
    return 1;
}

void HideCursor() { SDL_ShowCursor(SDL_DISABLE); }

void HandleEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT: QueueMessage(MSG_CLOSE, 0, 0); break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
                QueueMessage(MSG_ACTIVATEAPP, 1, 0);
            } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                QueueMessage(MSG_ACTIVATEAPP, 0, 0);
                sdl.focusLost = true;
                sdl.acquired = false;
            }
            break;
        case SDL_KEYDOWN:
            if (event.key.keysym.scancode == SDL_SCANCODE_ESCAPE && !event.key.repeat)
                QueueMessage(MSG_KEYDOWN, VKEY_ESCAPE, 0);
            break;
        default: break;
    }
}

void PumpEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) HandleEvent(event);
}

void WaitEvents() {
    SDL_Event event;
    if (SDL_WaitEvent(&event)) HandleEvent(event);
}

void Present(const uint8_t* pixels, int pitch, const PaletteEntry* palette) {
    if (!sdl.renderer) return;
    uint32_t lookup[256];
    for (int i = 0; i < 256; ++i)
        lookup[i] = palette ? 0xFF000000u | uint32_t(palette[i].red) << 16 | uint32_t(palette[i].green) << 8 |
                                  palette[i].blue
                            : 0xFF000000u;
    void* target;
    int targetPitch;
    if (SDL_LockTexture(sdl.texture, nullptr, &target, &targetPitch) == 0) {
        for (int y = 0; y < HEIGHT; ++y) {
            auto* row = reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(target) + y * targetPitch);
            const uint8_t* from = pixels + y * pitch;
            for (int x = 0; x < WIDTH; ++x) row[x] = lookup[from[x]];
        }
        SDL_UnlockTexture(sdl.texture);
    }
    // The page as large as the window allows with its shape kept, centred, pixels sharp.
    int outWidth = WIDTH, outHeight = HEIGHT;
    SDL_GetRendererOutputSize(sdl.renderer, &outWidth, &outHeight);
    SDL_RenderSetViewport(sdl.renderer, nullptr);
    SDL_Rect shown;
    if (outWidth * HEIGHT > outHeight * WIDTH) {
        shown.h = outHeight;
        shown.w = outHeight * WIDTH / HEIGHT;
    } else {
        shown.w = outWidth;
        shown.h = outWidth * HEIGHT / WIDTH;
    }
    shown.x = (outWidth - shown.w) / 2;
    shown.y = (outHeight - shown.h) / 2;
    SDL_SetRenderDrawColor(sdl.renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl.renderer);
    SDL_RenderCopy(sdl.renderer, sdl.texture, nullptr, &shown);
    SDL_RenderPresent(sdl.renderer);
    if (!sdl.vsync) {  // pace by the timer: 60 frames per second whatever the display does
        uint64_t frequency = SDL_GetPerformanceFrequency();
        uint64_t period = frequency / 60;
        uint64_t now = SDL_GetPerformanceCounter();
        if (sdl.nextFrame == 0 || now > sdl.nextFrame + 4 * period) sdl.nextFrame = now;
        sdl.nextFrame += period;
        while ((now = SDL_GetPerformanceCounter()) < sdl.nextFrame) {
            uint64_t left = (sdl.nextFrame - now) * 1000 / frequency;
            if (left > 1) SDL_Delay(uint32_t(left - 1));
        }
    }
}

void FrameShownSdl(long framesShown) {
    if (sdl.options.frames >= 0 && framesShown == sdl.options.frames) QueueMessage(MSG_CLOSE, 0, 0);
}

uint32_t TickCount() { return SDL_GetTicks() - sdl.startTicks; }
int64_t CalendarTime() { return int64_t(std::time(nullptr)); }

void MessageBoxSdl(const char* text, const char* caption) {
    if (sdl.window) SDL_SetWindowFullscreen(sdl.window, 0);
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, sdl.window) != 0)
        std::fprintf(stderr, "MessageBox: %s: %s\n", caption, text);
}

int KeyboardCreateSdl() {
    if (FaultRefuses("no-keyboard")) return 0;
    return 1;
}

KeyboardResult KeyboardGetStateSdl(uint8_t state[256]) {
    if (!sdl.acquired) {
        if (sdl.focusLost) {
            sdl.focusLost = false;
            return KEYBOARD_INPUT_LOST;
        }
        return KEYBOARD_NOT_ACQUIRED;
    }
    static const struct {
        SDL_Scancode scancode;
        int code;
    } map[] = {
        {SDL_SCANCODE_LEFT, DIK_LEFT}, {SDL_SCANCODE_RIGHT, DIK_RIGHT}, {SDL_SCANCODE_UP, DIK_UP},
        {SDL_SCANCODE_DOWN, DIK_DOWN}, {SDL_SCANCODE_Z, DIK_Z},         {SDL_SCANCODE_X, DIK_X},
        {SDL_SCANCODE_C, DIK_C},       {SDL_SCANCODE_V, DIK_V},         {SDL_SCANCODE_SPACE, DIK_SPACE},
        {SDL_SCANCODE_F1, DIK_F1},     {SDL_SCANCODE_F2, DIK_F2},       {SDL_SCANCODE_RETURN, DIK_RETURN},
        {SDL_SCANCODE_A, DIK_A},       {SDL_SCANCODE_ESCAPE, DIK_ESCAPE},
    };
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    for (int i = 0; i < 256; ++i) state[i] = 0;
    for (const auto& entry : map) state[entry.code] = keys[entry.scancode] ? 0x80 : 0;
    return KEYBOARD_OK;
}

int KeyboardAcquireSdl() {
    sdl.acquired = true;
    sdl.focusLost = false;
    return 1;
}
}  // namespace

const Backend sdlBackend = {
    Start,         Stop,        OpenWindow,   CloseWindow,    HideCursor,
    PumpEvents,    WaitEvents,  Present,      FrameShownSdl,  TickCount,
    CalendarTime,  MessageBoxSdl, KeyboardCreateSdl, KeyboardGetStateSdl, KeyboardAcquireSdl,
};
