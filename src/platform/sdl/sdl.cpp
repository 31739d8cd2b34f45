// The real backend on SDL2: a desktop full-screen or windowed picture (Alt+Enter and F11 switch) scaled
// with its aspect kept and sharp pixels, 60 game frames per second on any display, the keyboard and game
// controllers, screenshots with F12. This file starts and stops it and holds its table; the window and
// its picture are in video.cpp, frame pacing in pacing.cpp, events and keys in input.cpp, F12 in
// screenshot.cpp.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include "platform/sdl/sdl.h"
#include "platform/window.h"

SdlRecord sdl;

namespace {
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

void Stop() {
    if (sdl.options.stats) SdlPrintStats();
    for (SDL_GameController* pad : sdl.pads) SDL_GameControllerClose(pad);
    sdl.pads.clear();
    SdlCloseWindow();
    SDL_Quit();
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

}  // namespace

extern const Backend sdlBackend;  // in the build's list (cmake/KirakeBackends.cmake)
const Backend sdlBackend = {
    .name = "sdl",
    .headless = false,
    .start = Start,
    .stop = Stop,
    .openWindow = SdlOpenWindow,
    .closeWindow = SdlCloseWindow,
    .hideCursor = SdlHideCursor,
    .messageBox = MessageBoxSdl,
    .pumpEvents = SdlPumpEvents,
    .waitEvents = SdlWaitEvents,
    .readKeys = SdlReadKeys,
    .present = SdlPresent,
    .frameShown = FrameShownSdl,
    .tickCount = TickCount,
    .calendarTime = CalendarTime,
    .sound = &sdlSound,
    .text = &freetypeText,
    .watch = &inotifyWatch,
    .language = EnvironmentLanguage,
    .writePng = WritePngZlib,
    .arguments = nullptr,
    .hasRoot = nullptr,
    .programPath = LinuxProgramPath,
    .speech = &speechDispatcherSpeech,
    .kept = &posixKept,
    .busy = nullptr,
};
