// Inside the platform: what each backend provides, and the shared pieces the backends call.
// Nothing outside src/platform includes this file.
#pragma once
#include <cstdint>
#include <string>
#include "platform/display.h"
#include "platform/keyboard.h"
#include "platform/platform.h"

struct Backend {
    int (*start)(const PlatformOptions& options, std::string* error);
    void (*stop)();
    int (*openWindow)(const char* caption, const char* iconName);  // 1, or 0 when refused
    void (*closeWindow)();
    void (*hideCursor)();
    void (*pumpEvents)();  // turns pending input into messages and key state
    void (*waitEvents)();  // blocks until pumpEvents would have something
    // Shows a 640x480 page through a palette (null: all black) and waits for the next display frame.
    void (*present)(const uint8_t* pixels, int pitch, const PaletteEntry* palette);
    void (*frameShown)(long framesShown);
    uint32_t (*tickCount)();
    int64_t (*calendarTime)();
    void (*messageBox)(const char* text, const char* caption);
    int (*keyboardCreate)();
    KeyboardResult (*keyboardGetState)(uint8_t state[256]);
    int (*keyboardAcquire)();
};

extern const Backend headlessBackend;
extern const Backend sdlBackend;
extern const Backend win32Backend;
// The browser build: the page's backend, or the headless one drawing into the page (web.cpp).
const Backend* WebBackendFor(const PlatformOptions& options);
const Backend* CurrentBackend();
const PlatformOptions& CurrentOptions();

// Message queue (messages.cpp): backends post what arrives from outside.
void QueueMessage(int id, uintptr_t wParam, intptr_t lParam);
int QueueIsEmpty();
Window MainWindow();

// Display internals (surfaces.cpp).
Surface* PrimarySurfaceInUse();               // null when none
const PaletteEntry* DisplayPaletteEntries();  // the primary's palette, or null
void LoseAllSurfaces();
void SetDisplayWaitsForFrames(int waits);     // 0: FlipSurface does not call present (tests)

// Fault injection (faults.cpp). SPEC as on the command line; 1, or 0 for an unknown SPEC.
int AddFault(const std::string& spec);
void ClearFaults();
int FaultRefuses(const char* name);            // a standing refusal, e.g. "display:mode", "no-keyboard"
int FaultTakeAtFrame(const char* name, long frame);  // a one-shot fault due on or before this frame

// The overlay line (overlay.cpp): the page to show and its palette with the line over it, 640x480 with
// pitch 640. 1, or 0 (nothing written) when no line is shown.
int ComposeOverlay(const uint8_t* page, int pitch, const PaletteEntry* palette, uint8_t* outPage,
                   PaletteEntry* outPalette);

// Watching the data folder (watch.cpp): started by PlatformStart when asked for.
int StartWatching(bool verbose);
void StopWatching();

// PNG writing (png.cpp): an RGB picture. 1, or 0 when the file cannot be written.
int WritePng(const char* path, const uint8_t* rgb, int width, int height);

// Sound backend (sound_*.cpp).
int SoundBackendStart(const PlatformOptions& options, std::string* error);
void SoundBackendStop();
void SoundBackendFrameShown(long framesShown);
// The real device while the game is paused: fades out and holds, then fades in where it stopped.
void SoundBackendPause(int paused);

// The English line of the failure ending in progress (window.h ReportFailure), or empty.
const std::string& PendingFailure();
// Why the display last refused a step, for FatalError's line (surfaces.cpp keeps it).
void NoteDisplayRefusal(const std::string& reason);
// A frame run but not shown (BeginUnshownFrames): the real device's voices move on by one frame, unheard.
void SoundBackendFrameSkipped(long framesRun);
// Silences the real device while frames are not shown (1), and lets it sound again (0).
void SoundBackendHold(int hold);
// Frames run but not shown so far; the headless clock counts them.
long UnshownFrameCount();
