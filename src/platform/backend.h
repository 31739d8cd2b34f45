// Inside the platform: the table of services each backend provides and how a build's backends are chosen.
// Included by the core, the backends and the tests and benchmarks that drive a backend's parts directly;
// the system never includes it. What the portable core offers the backends is in core/core.h.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "platform/display.h"
#include "platform/keep.h"
#include "platform/keyboard.h"
#include "platform/platform.h"
#include "platform/speech.h"

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

// Saying text aloud (speech.h): the system's speech service. The core has checked and recorded the text.
struct SpeechOutput {
    // Says the text (UTF-8), cutting off what was being said; `voiced` 0: only where a screen reader
    // reads it (the page's live region), nothing aloud.
    void (*say)(const char* text, int kind, int voiced);
    int (*available)(std::string* why);  // 1 when text can be said aloud; 0 with *why
    void (*stop)();                      // PlatformStop: silent, disconnected
};

// Kept files (keep.h) in the system's own place. The core has checked the name.
struct KeptStore {
    int (*read)(KeptKind kind, const char* name, size_t maxBytes, std::string* bytes, std::string* why);
    int (*write)(KeptKind kind, const char* name, const std::string& bytes, std::string* why);
    int (*setAside)(KeptKind kind, const char* name);
    std::string (*place)(KeptKind kind, const char* name);
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
    // PNG files (captures, screenshots): an RGB picture; 1, or 0 when not written. Null: the main
    // backend's, and where that has none, no PNG is written.
    int (*writePng)(const char* path, const uint8_t* rgb, int width, int height);

    // The program (platform.h), asked of the build's main backend before any start; null: the POSIX
    // ones of the core (the arguments as given; "/" the only root).
    std::vector<std::string> (*arguments)(int argc, char** argv);
    int (*hasRoot)(const std::string& root);
    std::string (*programPath)();  // the running program's file, or ""; null: known from argv[0] only

    const SpeechOutput* speech;  // speech.h; null: nothing is said aloud (the lines are still recorded)
    const KeptStore* kept;       // keep.h; null: the main backend's, and where that has none, nothing kept

    // The program is at work without presenting a page (opening its data files, at the start and at a
    // scene's pictures): a host that needs its thread back now and then (a browser page) may take a
    // turn here. Null: nothing to do.
    void (*busy)();
};

// The build's backends, first the main one (written by CMake from KIRAKE_BACKENDS; null-terminated).
extern const Backend* const buildBackends[];
// The build's first backend for a run with or without --headless; null when it has none.
const Backend* BackendFor(bool headless);
// The backend a run asks for (--backend NAME, else the first of its kind); null with *error.
const Backend* ChosenBackend(const PlatformOptions& options, std::string* error);
// The running backend (the build's headless one before PlatformStart, as in unit tests).
const Backend* CurrentBackend();
const PlatformOptions& CurrentOptions();
// The text source and file watch of the running backend (a headless one's are the main backend's, and
// so is the text of a backend that has none).
const TextSource* CurrentTextSource();
const FileWatch* CurrentFileWatch();
// The services backends share, each in a folder of its own: the text sources (the desktop's fonts,
// freetype/; glyph files, glyphfile/), the file watch on Linux (linux/), PNG files with zlib (zlib/).
extern const TextSource freetypeText;
extern const TextSource glyphFileText;
extern const FileWatch inotifyWatch;
std::string LinuxProgramPath();  // linux/program_linux.cpp
// Kept files under the XDG folders, written anew and renamed (posix/); speech-dispatcher (speechd/).
extern const KeptStore posixKept;
extern const SpeechOutput speechDispatcherSpeech;
int WritePngZlib(const char* path, const uint8_t* rgb, int width, int height);

