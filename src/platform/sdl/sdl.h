// The SDL backend's parts (sdl.cpp, video.cpp, pacing.cpp, input.cpp, screenshot.cpp) and the record
// they share. Inside this folder only.
#pragma once
#include <SDL.h>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>
#include "platform/backend.h"
#include "platform/core/core.h"

constexpr int PAGE_WIDTH = 640, PAGE_HEIGHT = 480;
constexpr int64_t SECOND_NS = 1000000000;

inline int64_t NowNs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
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
    bool redraw;                        // the window needs the page drawn again
    uint8_t tapped[256];                // keys that went down since the last read, by key code
    std::vector<SDL_GameController*> pads;
    bool stickDown[4];                  // left, right, up, down from the left stick, per last event
    Pacing pacing;
    int64_t startNs;
    uint32_t startTicks;
};
extern SdlRecord sdl;

// video.cpp: the window, its picture and the page drawn in it.
int SdlOpenWindow(const char* caption, const char* iconName);
void SdlCloseWindow();
void SdlHideCursor();
void SdlDraw();     // the texture's page, scaled, on black, presented
void SdlRepaint();  // the last page again, when there is one
void SdlToggleFullscreen();
void SdlPresent(const uint8_t* pixels, int pitch, const PaletteEntry* palette);
// pacing.cpp: vsync or the timer, and the --stats figures.
void SdlChoosePacing(int hz);
// Shows the uploaded page on time: drawn at every refresh by vsync, or (when draw is set: it is new, or
// the window needs it) drawn and then waited for by the timer.
void SdlPaceFrame(bool draw);
void SdlPrintStats();
// input.cpp: events, the keyboard and game controllers.
void SdlPumpEvents();
void SdlWaitEvents();
void SdlReadKeys(uint8_t state[256]);
// screenshot.cpp: F12.
void SdlScreenshot();
