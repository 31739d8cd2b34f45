// The real backend on SDL2: a desktop full-screen or windowed picture (Alt+Enter and F11 switch) scaled
// with its aspect kept and sharp pixels, 60 game frames per second on any display, the keyboard and game
// controllers, screenshots with F12.
#include <SDL.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/bitmap.h"
#include "platform/resources.h"
#include "platform/window.h"

// sdl_x11.cpp (kept apart: Xlib's names clash with ours): sets _NET_WM_ICON when the window is on X11.
void SetX11WindowIcons(SDL_Window* window, const std::vector<unsigned long>& icons);

namespace {
constexpr int WIDTH = 640, HEIGHT = 480;
constexpr int64_t SECOND_NS = 1000000000;
constexpr int STICK_THRESHOLD = 16000;  // of 32767: past it the left stick counts as a cursor key

int64_t NowNs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * SECOND_NS + t.tv_nsec;
}

int64_t ThreadCpuNs() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return int64_t(t.tv_sec) * SECOND_NS + t.tv_nsec;
}

// How frames are paced. With vsync the display's refresh paces them, one game frame every `refreshes`
// refreshes, once the first presents have shown that the refresh really is a multiple of 60 Hz.
// Otherwise the clock paces them: sleep to just before the deadline, spin the last moment.
struct Pacing {
    bool vsync;
    int refreshes;               // refreshes per game frame with vsync
    int claimedHz;               // what the display says
    bool checked;                // the vsync rate has been measured
    std::vector<int64_t> checkIntervals;
    int64_t base;                // timer: when game frame `count` of this run of frames was due
    int64_t count;
    int64_t lastPresent;
    int64_t pacingCpuNs;         // CPU time spent waiting for deadlines
    std::vector<int32_t> intervals;  // microseconds between game frames, pauses left out
    bool resumed;                // the next interval spans a pause: not counted
};

struct SdlRecord {
    PlatformOptions options;
    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    bool fullscreen;
    int windowedWidth, windowedHeight;  // the window's last size out of full screen
    bool active;                        // the window has the focus
    bool hasPage;                       // the texture holds a page to repaint
    bool focusLost;                     // the keyboard was taken away since the last read
    bool acquired;
    uint8_t tapped[256];                // keys that went down since the last read, by key code
    std::vector<SDL_GameController*> pads;
    bool stickDown[4];                  // left, right, up, down from the left stick, per last event
    Pacing pacing;
    int64_t startNs;
    uint32_t startTicks;
};
SdlRecord sdl;

struct KeyCode {
    SDL_Scancode scancode;
    int code;
};
const KeyCode keyCodes[] = {
    {SDL_SCANCODE_LEFT, DIK_LEFT}, {SDL_SCANCODE_RIGHT, DIK_RIGHT}, {SDL_SCANCODE_UP, DIK_UP},
    {SDL_SCANCODE_DOWN, DIK_DOWN}, {SDL_SCANCODE_Z, DIK_Z},         {SDL_SCANCODE_X, DIK_X},
    {SDL_SCANCODE_C, DIK_C},       {SDL_SCANCODE_V, DIK_V},         {SDL_SCANCODE_SPACE, DIK_SPACE},
    {SDL_SCANCODE_F1, DIK_F1},     {SDL_SCANCODE_F2, DIK_F2},       {SDL_SCANCODE_RETURN, DIK_RETURN},
    {SDL_SCANCODE_A, DIK_A},       {SDL_SCANCODE_ESCAPE, DIK_ESCAPE},
};

// Pad buttons as keys: d-pad as the cursor keys, A as Space, B as F1, X and Y as Z and X, Start as Space.
// Back/Select is left alone.
struct PadButton {
    SDL_GameControllerButton button;
    int code;
};
const PadButton padButtons[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, DIK_LEFT}, {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, DIK_RIGHT},
    {SDL_CONTROLLER_BUTTON_DPAD_UP, DIK_UP},     {SDL_CONTROLLER_BUTTON_DPAD_DOWN, DIK_DOWN},
    {SDL_CONTROLLER_BUTTON_A, DIK_SPACE},        {SDL_CONTROLLER_BUTTON_B, DIK_F1},
    {SDL_CONTROLLER_BUTTON_X, DIK_Z},            {SDL_CONTROLLER_BUTTON_Y, DIK_X},
    {SDL_CONTROLLER_BUTTON_START, DIK_SPACE},
};
const int stickCodes[4] = {DIK_LEFT, DIK_RIGHT, DIK_UP, DIK_DOWN};

int Start(const PlatformOptions& options, std::string* error) {
    sdl = SdlRecord{};
    sdl.options = options;
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
        *error = std::string("no display: ") + SDL_GetError() +
                 " (set DISPLAY or WAYLAND_DISPLAY, or play with --headless)";
        return 0;
    }
    // SDL falls back to drivers that show nothing; a game nobody can see must not run on.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) {
        *error = std::string("no display: only the \"") + (driver ? driver : "none") +
                 "\" video driver could start (set DISPLAY or WAYLAND_DISPLAY, or play with --headless)";
        SDL_Quit();
        return 0;
    }
    if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0 && options.verbose)
        std::fprintf(stderr, "kirake: no game controllers: %s\n", SDL_GetError());
    sdl.startTicks = SDL_GetTicks();
    sdl.startNs = NowNs();
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

int64_t Percentile(std::vector<int32_t> values, double fraction) {
    if (values.empty()) return 0;
    size_t at = std::min(values.size() - 1, size_t(fraction * double(values.size())));
    std::nth_element(values.begin(), values.begin() + long(at), values.end());
    return values[at];
}

void PrintStats() {
    const Pacing& p = sdl.pacing;
    long shown = PlatformFrameNumber();
    int64_t total = 0;
    int late = 0;
    for (int32_t interval : p.intervals) {
        total += interval;
        if (interval > 25000) ++late;  // shown for longer than one and a half frames
    }
    double fps = total > 0 ? double(p.intervals.size()) * 1e6 / double(total) : 0.0;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    double wall = double(NowNs() - sdl.startNs) / 1e9;
    std::fprintf(stderr,
                 "kirake: stats: %ld frames shown, %.3f game frames per second (paced by %s%s)\n"
                 "kirake: stats: frame interval 50th %.2f ms, 99th %.2f ms, max %.2f ms; %d frames late\n"
                 "kirake: stats: CPU %.2f s in %.2f s (%.1f%% of a core); pacing %.3f ms of CPU per frame\n",
                 shown, fps, p.vsync ? "vsync" : "the timer",
                 p.vsync && p.refreshes > 1 ? (", " + std::to_string(p.refreshes) + " refreshes a frame").c_str() : "",
                 double(Percentile(p.intervals, 0.5)) / 1000, double(Percentile(p.intervals, 0.99)) / 1000,
                 p.intervals.empty() ? 0.0 : double(*std::max_element(p.intervals.begin(), p.intervals.end())) / 1000,
                 late, cpu, wall, wall > 0 ? 100 * cpu / wall : 0.0,
                 shown > 0 ? double(p.pacingCpuNs) / 1e6 / double(shown) : 0.0);
}

void Stop() {
    if (sdl.options.stats) PrintStats();
    for (SDL_GameController* pad : sdl.pads) SDL_GameControllerClose(pad);
    sdl.pads.clear();
    CloseWindow();
    SDL_Quit();
}

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
    const uint8_t* bytes = FindResource(iconName, "ICON", &size);
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

// Picks the pacing for a display that claims `hz`: vsync (to be checked) at a whole multiple of 60 Hz.
void ChoosePacing(int hz) {
    sdl.pacing = Pacing{};
    sdl.pacing.claimedHz = hz;
    for (int n = 1; n <= 4; ++n) {
        if (hz > 0 && std::abs(hz - 60 * n) * 200 <= 60 * n) {  // within 0.5 %
            sdl.pacing.vsync = true;
            sdl.pacing.refreshes = n;
        }
    }
    if (sdl.options.pacing == "vsync" && !sdl.pacing.vsync) {  // try it as on a 60 Hz display (still checked)
        sdl.pacing.vsync = true;
        sdl.pacing.refreshes = 1;
    }
    if (sdl.options.pacing == "timer") sdl.pacing.vsync = false;
}

int OpenWindow(const char* caption, const char* iconName) {
    SDL_DisplayMode mode{};
    int refresh = SDL_GetDesktopDisplayMode(0, &mode) == 0 ? mode.refresh_rate : 0;
    sdl.windowedWidth = WIDTH;
    sdl.windowedHeight = HEIGHT;
    if (mode.w >= WIDTH * 2 + 64 && mode.h >= HEIGHT * 2 + 64) {
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
    ChoosePacing(refresh);
    sdl.renderer = SDL_CreateRenderer(sdl.window, -1, sdl.pacing.vsync ? SDL_RENDERER_PRESENTVSYNC : 0);
    if (!sdl.renderer) sdl.renderer = SDL_CreateRenderer(sdl.window, -1, SDL_RENDERER_SOFTWARE);
    if (!sdl.renderer) {
        ReportFailure((std::string("cannot draw in the game window: ") + SDL_GetError()).c_str());
        CloseWindow();
        return 0;
    }
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(sdl.renderer, &info);
    sdl.pacing.vsync = sdl.pacing.vsync && (info.flags & SDL_RENDERER_PRESENTVSYNC);
    sdl.texture = SDL_CreateTexture(sdl.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, WIDTH, HEIGHT);
    if (!sdl.texture) {
        ReportFailure((std::string("cannot make the game's picture: ") + SDL_GetError()).c_str());
        CloseWindow();
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

void HideCursor() { SDL_ShowCursor(SDL_DISABLE); }

// The page as large as the output allows with its shape kept (or the largest whole multiple with
// --scale integer), centred on black, pixels sharp.
void Draw() {
    int outWidth = WIDTH, outHeight = HEIGHT;
    SDL_GetRendererOutputSize(sdl.renderer, &outWidth, &outHeight);
    SDL_RenderSetViewport(sdl.renderer, nullptr);
    SDL_Rect shown;
    int whole = std::min(outWidth / WIDTH, outHeight / HEIGHT);
    if (sdl.options.integerScale && whole >= 1) {
        shown.w = WIDTH * whole;
        shown.h = HEIGHT * whole;
    } else if (outWidth * HEIGHT > outHeight * WIDTH) {
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
}

// While paused nothing else draws: the last page is shown again when the window needs it.
void Repaint() {
    if (sdl.renderer && sdl.hasPage) Draw();
}

void ToggleFullscreen() {
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
    Repaint();
}

std::string PicturesFolder() {
    const char* pictures = std::getenv("XDG_PICTURES_DIR");
    if (pictures && *pictures) return std::string(pictures) + "/kirake";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/Pictures/kirake";
}

int MakeFolders(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return 0;
    }
    return 1;
}

// F12: the page on the screen as a 640x480 PNG, the same bytes as a headless capture of this frame.
void Screenshot() {
    std::vector<uint8_t> rgb(size_t(WIDTH) * HEIGHT * 3);
    long frame = PlatformFrameNumber() - 1;
    if (frame < 0 || !CapturePage(rgb.data())) {
        std::fprintf(stderr, "kirake: no picture on the screen yet to save\n");
        return;
    }
    std::string folder = PicturesFolder();
    time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &local);
    std::string path = folder + "/kirake_" + stamp + ".png";
    struct stat info;
    for (int n = 2; stat(path.c_str(), &info) == 0 && n < 1000; ++n)
        path = folder + "/kirake_" + stamp + "_" + std::to_string(n) + ".png";
    if (!MakeFolders(folder) || !WritePng(path.c_str(), rgb.data(), WIDTH, HEIGHT)) {
        std::fprintf(stderr, "kirake: cannot save the screenshot to %s: %s\n", path.c_str(), std::strerror(errno));
        return;
    }
    std::fprintf(stderr, "kirake: screenshot of frame %ld saved to %s\n", frame, path.c_str());
}

void SetActive(bool active) {
    if (active == sdl.active) return;
    sdl.active = active;
    QueueMessage(MSG_ACTIVATEAPP, active ? 1 : 0, 0);
    SoundBackendPause(active ? 0 : 1);
    if (!active) {
        sdl.focusLost = true;
        sdl.acquired = false;
        std::memset(sdl.tapped, 0, sizeof sdl.tapped);
    }
    sdl.pacing.resumed = true;  // the time away is not a frame interval
    sdl.pacing.base = 0;
}

void Tap(int code) { sdl.tapped[code & 0xFF] = 1; }

void HandleStick(const SDL_ControllerAxisEvent& axis) {
    int low = -1, high = -1;
    if (axis.axis == SDL_CONTROLLER_AXIS_LEFTX) low = 0, high = 1;
    if (axis.axis == SDL_CONTROLLER_AXIS_LEFTY) low = 2, high = 3;
    if (low < 0) return;
    bool lowDown = axis.value < -STICK_THRESHOLD, highDown = axis.value > STICK_THRESHOLD;
    if (lowDown && !sdl.stickDown[low]) Tap(stickCodes[low]);
    if (highDown && !sdl.stickDown[high]) Tap(stickCodes[high]);
    sdl.stickDown[low] = lowDown;
    sdl.stickDown[high] = highDown;
}

void HandleEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_QUIT: QueueMessage(MSG_CLOSE, 0, 0); break;
        case SDL_WINDOWEVENT:
            switch (event.window.event) {
                case SDL_WINDOWEVENT_FOCUS_GAINED: SetActive(true); break;
                case SDL_WINDOWEVENT_FOCUS_LOST: SetActive(false); break;
                case SDL_WINDOWEVENT_EXPOSED:
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    if (!sdl.active) Repaint();
                    break;
                default: break;
            }
            break;
        case SDL_KEYDOWN: {
            SDL_Scancode scancode = event.key.keysym.scancode;
            bool alt = event.key.keysym.mod & KMOD_ALT;
            if (!event.key.repeat) {
                for (const KeyCode& key : keyCodes)
                    if (key.scancode == scancode) Tap(key.code);
            }
            if (event.key.repeat) break;
            if (scancode == SDL_SCANCODE_ESCAPE) {
                QueueMessage(MSG_KEYDOWN, VKEY_ESCAPE, 0);
            } else if (scancode == SDL_SCANCODE_F11 ||
                       (alt && (scancode == SDL_SCANCODE_RETURN || scancode == SDL_SCANCODE_KP_ENTER))) {
                ToggleFullscreen();
            } else if (scancode == SDL_SCANCODE_F12) {
                Screenshot();
            }
            break;
        }
        case SDL_CONTROLLERDEVICEADDED:
            if (SDL_GameController* pad = SDL_GameControllerOpen(event.cdevice.which)) {
                sdl.pads.push_back(pad);
                if (sdl.options.verbose) std::fprintf(stderr, "kirake: game controller \"%s\" connected\n",
                                                      SDL_GameControllerName(pad));
            }
            break;
        case SDL_CONTROLLERDEVICEREMOVED:
            for (size_t i = 0; i < sdl.pads.size(); ++i) {
                SDL_Joystick* stick = SDL_GameControllerGetJoystick(sdl.pads[i]);
                if (stick && SDL_JoystickInstanceID(stick) == event.cdevice.which) {
                    SDL_GameControllerClose(sdl.pads[i]);
                    sdl.pads.erase(sdl.pads.begin() + long(i));
                    break;
                }
            }
            std::memset(sdl.stickDown, 0, sizeof sdl.stickDown);
            break;
        case SDL_CONTROLLERBUTTONDOWN:
            for (const PadButton& button : padButtons)
                if (button.button == event.cbutton.button) Tap(button.code);
            break;
        case SDL_CONTROLLERAXISMOTION: HandleStick(event.caxis); break;
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

// Vsync is kept only when the refreshes measured over the first frames match the claimed rate.
void CheckVsync(int64_t interval) {
    Pacing& p = sdl.pacing;
    if (p.checked || !p.vsync) return;
    if (PlatformFrameNumber() < 10) return;  // start-up loads pictures and songs between frames
    p.checkIntervals.push_back(interval);
    if (p.checkIntervals.size() < 60) return;
    p.checked = true;
    std::nth_element(p.checkIntervals.begin(), p.checkIntervals.begin() + 30, p.checkIntervals.end());
    double measured = double(p.checkIntervals[30]) / p.refreshes;  // ns per refresh
    double claimed = double(SECOND_NS) / (60.0 * p.refreshes);
    bool agrees = std::abs(measured - claimed) <= claimed * 0.005;
    if (sdl.options.verbose)
        std::fprintf(stderr, "sdl: refresh measured %.3f Hz, claimed %d Hz: paced by %s\n", 1e9 / measured,
                     p.claimedHz, agrees ? "vsync" : "the timer");
    if (!agrees) {
        SDL_RenderSetVSync(sdl.renderer, 0);
        p.vsync = false;
        p.base = 0;
    }
}

// Waits for the deadline of the next game frame: a sleep to within 0.1 ms, then a short spin.
void WaitForDeadline() {
    Pacing& p = sdl.pacing;
    int64_t now = NowNs();
    // Frames that came late are caught up (shown without waiting) so that game time keeps to the clock;
    // after a stall of more than a quarter of a second, or a pause, the count starts again from now.
    if (p.base == 0 || now > p.base + (p.count + 15) * SECOND_NS / 60) {
        p.base = now;
        p.count = 0;
    }
    ++p.count;
    int64_t deadline = p.base + p.count * SECOND_NS / 60;
    int64_t cpuBefore = ThreadCpuNs();
    if (deadline - now > 100000) {
        int64_t wake = deadline - 100000;
        timespec until{time_t(wake / SECOND_NS), long(wake % SECOND_NS)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
    }
    while (NowNs() < deadline) {
    }
    p.pacingCpuNs += ThreadCpuNs() - cpuBefore;
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
        sdl.hasPage = true;
    }
    Pacing& p = sdl.pacing;
    if (p.vsync) {
        for (int i = 0; i < p.refreshes; ++i) Draw();  // every refresh shows the frame: none longer than another
    } else {
        Draw();
        WaitForDeadline();
    }
    int64_t now = NowNs();
    if (p.lastPresent && !p.resumed) {
        int64_t interval = now - p.lastPresent;
        CheckVsync(interval);
        if (sdl.options.stats) p.intervals.push_back(int32_t(std::min<int64_t>(interval / 1000, INT32_MAX)));
    }
    p.resumed = false;
    p.lastPresent = now;
}

void FrameShownSdl(long framesShown) {
    if (sdl.options.frames >= 0 && framesShown == sdl.options.frames) QueueMessage(MSG_CLOSE, 0, 0);
}

uint32_t TickCount() { return SDL_GetTicks() - sdl.startTicks; }
int64_t CalendarTime() { return int64_t(std::time(nullptr)); }

// The system's own box and texts; the English line naming the cause stands under them, since a stock
// desktop's box may not draw Japanese.
void MessageBoxSdl(const char* text, const char* caption) {
    if (sdl.window && sdl.fullscreen) {
        SDL_SetWindowFullscreen(sdl.window, 0);
        sdl.fullscreen = false;
    }
    std::string body = text;
    const std::string& cause = PendingFailure();
    if (!cause.empty()) body += "\n\n(" + cause + ")";
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, body.c_str(), sdl.window) != 0)
        std::fprintf(stderr, "MessageBox: %s: %s (no box could be shown: %s)\n", caption, text, SDL_GetError());
}

int KeyboardCreateSdl() {
    if (FaultRefuses("no-keyboard")) return 0;
    return 1;
}

// The keys down now, and those pressed and let go since the last read: a tap between two reads still
// counts as down for this one.
KeyboardResult KeyboardGetStateSdl(uint8_t state[256]) {
    if (!sdl.acquired) {
        if (sdl.focusLost) {
            sdl.focusLost = false;
            return KEYBOARD_INPUT_LOST;
        }
        return KEYBOARD_NOT_ACQUIRED;
    }
    const Uint8* keys = SDL_GetKeyboardState(nullptr);
    for (int i = 0; i < 256; ++i) state[i] = sdl.tapped[i] ? 0x80 : 0;
    for (const KeyCode& key : keyCodes)
        if (keys[key.scancode]) state[key.code] = 0x80;
    for (SDL_GameController* pad : sdl.pads) {
        for (const PadButton& button : padButtons)
            if (SDL_GameControllerGetButton(pad, button.button)) state[button.code] = 0x80;
    }
    for (int i = 0; i < 4; ++i)
        if (sdl.stickDown[i]) state[stickCodes[i]] = 0x80;
    std::memset(sdl.tapped, 0, sizeof sdl.tapped);
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
