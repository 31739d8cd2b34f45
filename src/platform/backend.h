// Inside the platform: the table of services each backend provides, how a build's backends are chosen,
// and the shared pieces of the portable core that the backends call. Included by the core, the backends
// and the tests and benchmarks that drive a backend's parts directly; the system never includes it.
#pragma once
#include <cstdint>
#include <string>
#include "platform/display.h"
#include "platform/keyboard.h"
#include "platform/platform.h"

struct TextSource;  // platform/glyphs.h

// Telling of files saved in the data folder, faster than polling (inotify, ...).
struct FileWatch {
    const char* method;  // as WatchMethod names it
    // Watches the folders (paths inside the data folder, "" for itself, "bmp/"). 1, or 0 when refused.
    int (*start)(const char* const folders[], int count);
    void (*stop)();
    void (*take)();  // NoteSavedFile for every file written and closed, or moved in, since the last call
};

// The device behind the mixer: the real one, or the frame clock that renders after every frame.
struct SoundOutput {
    int (*start)(const PlatformOptions& options, std::string* error);  // PlatformStart; 1, or 0 with *error
    void (*stop)();
    int (*openDevice)();                   // SoundDeviceOpen: 1, or 0 when there is no device
    void (*frameShown)(long framesRun);    // after every frame shown
    void (*frameSkipped)(long framesRun);  // after a frame run but not shown (BeginUnshownFrames)
    void (*pause)(int paused);             // the game lost (1) or regained (0) the focus: fade out, in
    void (*hold)(int hold);                // silent while frames are not shown (1), and sounding again (0)
};

// One table per backend, filled with designated initialisers; every function is there. A headless
// backend has the text source and file watch of the build's main backend (its first): leave them out.
struct Backend {
    const char* name;  // "sdl", "headless", "web", ...
    bool headless;     // serves --headless runs: no display, a virtual clock, scripted keys, captures

    // PlatformStart, PlatformStop.
    int (*start)(const PlatformOptions& options, std::string* error);  // 1, or 0 with *error
    void (*stop)();

    // The window (window.h).
    int (*openWindow)(const char* caption, const char* iconName);  // 1, or 0 when refused (ReportFailure)
    void (*closeWindow)();
    void (*hideCursor)();
    void (*messageBox)(const char* text, const char* caption);  // modal; PendingFailure() goes under it

    // Input (window.h messages, keyboard.h). Esc, focus and close arrive as QueueMessage; a lost focus
    // calls KeyboardFocusLost.
    void (*pumpEvents)();                  // turns pending input into messages and key state
    void (*waitEvents)();                  // blocks until pumpEvents would have something
    void (*readKeys)(uint8_t state[256]);  // the keys down now by key code (0x80 = down), while acquired

    // The display (display.h): shows a 640x480 page through a palette (null: all black) and waits for
    // the next display frame; then the frame boundary (clock.h FrameShown) with the frames shown so far.
    void (*present)(const uint8_t* pixels, int pitch, const PaletteEntry* palette);
    void (*frameShown)(long framesShown);

    // The clock (clock.h).
    uint32_t (*tickCount)();    // milliseconds since start
    int64_t (*calendarTime)();  // seconds since 1970-01-01 00:00:00 UTC

    const SoundOutput* sound;  // sound.h
    const TextSource* text;    // glyph lookup (text.h)
    const FileWatch* watch;    // watch.h; null: the data folder is polled
    std::string (*language)();  // platform.h SystemLanguage; null: none (the headless backends)
};

// The build's backends, first the main one (written by CMake from KIRAKE_BACKENDS; null-terminated).
extern const Backend* const buildBackends[];
// The build's backend for a run with or without --headless; null when it has none.
const Backend* BackendFor(bool headless);
// The running backend (the build's headless one before PlatformStart, as in unit tests).
const Backend* CurrentBackend();
const PlatformOptions& CurrentOptions();
// The text source and file watch of the running backend (a headless one's are the main backend's).
const TextSource* CurrentTextSource();
const FileWatch* CurrentFileWatch();
// The text sources: the desktop's fonts (freetype/), the glyph file of the web build (web/).
extern const TextSource freetypeText;
extern const TextSource glyphFileText;
// The file watch on Linux (linux/).
extern const FileWatch inotifyWatch;
// The language a POSIX environment names, read as gettext reads it (program_posix.cpp): the locale is
// LC_ALL, else LC_MESSAGES, else LANG; none when it is unset, "C" or "POSIX"; else the first of
// LANGUAGE's list when set, else the locale.
std::string EnvironmentLanguage();

// Keyboard state kept by the core (keyboard.cpp): a backend tells of a lost focus; the next read then
// reports the loss once, and reads give nothing until KeyboardAcquire.
void KeyboardFocusLost();
void KeyboardReset();  // PlatformStart

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

// Watching the data folder (watch.cpp): started by PlatformStart when asked for, through the backend's
// file watch, or by polling where it has none or it refuses.
int StartWatching(bool verbose);
void StopWatching();
// A file watch: the file (its path inside the data folder) was saved.
void NoteSavedFile(const std::string& name);

// The page last shown (shown.cpp): 1 when page and palette are those of the backend's previous present
// (it may skip the upload and the redraw, and only wait for the frame), 0 when they differ; either way
// they are then the last shown. ForgetShown: the next present differs whatever it shows.
int SameAsShown(const uint8_t* pixels, int pitch, const PaletteEntry* palette);
void ForgetShown();

// A file the run was asked to write (captured frames, the audio recording, a key script's saves) could
// not be written: said once on standard error; PlatformStop then answers 0 and the run ends with status 1.
void NoteWriteFailure(const std::string& what);

// PNG writing (png.cpp): an RGB picture. 1, or 0 when the file cannot be written.
int WritePng(const char* path, const uint8_t* rgb, int width, int height);

// The sound output of the backend for options.headless (platform.cpp), as PlatformStart starts it; tests
// start one by itself. Before any start, the headless backend's.
int SoundBackendStart(const PlatformOptions& options, std::string* error);
void SoundBackendStop();
int SoundBackendOpen();
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
// The sound outputs: the real device (sdl/), the frame clock of headless runs (sdl/sound_device.cpp, with
// the mixer), the browser's (web/).
extern const SoundOutput sdlSound;
extern const SoundOutput frameClockSound;
extern const SoundOutput webSound;
// Frames run but not shown so far; the headless clock counts them.
long UnshownFrameCount();
