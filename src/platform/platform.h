// Starting and stopping the platform: the backend is chosen here, once, by main.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct PlatformOptions {
    bool headless = false;       // no display: virtual clock, scripted keys, capture
    bool window = false;         // real backend: a window instead of full screen
    bool verbose = false;        // log platform choices (fonts, audio device) to standard error
    long frames = -1;            // headless: close after this many frames (-1: run until the program ends)
    std::string keysFile;        // headless: key script
    std::string captureList;     // headless: frames to capture, "A,B-C"
    std::string captureDir;      // headless: where frame-NNNNNN.png files go
    std::string recordAudio;     // headless: WAV file of everything that sounded
    std::vector<std::string> faults;  // headless: failures to inject
    int64_t epoch = 946684800;   // headless: calendar time at start (2000-01-01 00:00:00 UTC)
    bool integerScale = false;   // real backend: the largest whole multiple of the page that fits
    bool stats = false;          // real backend: print frame pacing figures at the end
    std::string pacing;          // real backend: "auto" (or empty), "vsync" (tried, still checked), "timer"
    bool watch = false;          // watch the data folder (the working folder) for saved files
    std::string backend;         // the build's backend of this name (empty: the first for the run)
};

// main: starts the chosen backend. 1, or 0 with a message in *error.
int PlatformStart(const PlatformOptions& options, std::string* error);
// main, before PlatformStart, when the game cannot start (the text already said on standard error): a
// run with a window tells it in the chosen backend's message box too, for a player who started the game
// from a desktop and sees no console. Nothing for --headless runs.
void ShowStartFailure(const PlatformOptions& options, const char* text);
// The game's own: called by the backend when the program may be ended without warning soon (the page
// hidden or left, the session ending), so that what the player would lose is kept now.
void SetSuspendHandler(void (*handler)());
// Backends: calls the handler (nothing when none is set).
void CallSuspendHandler();
// main: ends the backend (files written, devices closed). 1, or 0 when a file the run was asked to
// write could not be written (said on standard error when it happened).
int PlatformStop();
// The frames shown so far, on every backend (the headless one numbers its captures and script by it).
long PlatformFrameNumber();

// Headless captures, benchmarks and tests: the page on the screen (the primary after its last flip) seen
// through the display palette, as 640x480 RGB bytes. 1, or 0 (all black) when there is no display.
int CapturePage(uint8_t* rgb);

// Frames run to reach a starting scene: between these two calls frames are composed but not shown
// (no presenting, no captures, no scripted events, silent), and the clock runs as if each lasted 1/60 s.
// Frame numbers (PlatformFrameNumber, scripts, captures, --frames) count only the frames shown after.
void BeginUnshownFrames();
void EndUnshownFrames();
// A game continued from a session: after EndUnshownFrames, the frames just run unshown stand for the
// framesShown frames the left game showed. Frame numbers go on from there (the backend is told of it as
// of a frame shown), and the clock counts those frames once; it does not jump.
void ContinueFrameNumbers(long framesShown);

// The language the system's user reads, as the system writes it ("es_ES.UTF-8", "pt-BR"); "" when it
// names none, and always in headless runs, which play the same whatever machine runs them.
std::string SystemLanguage();

// main, first: the command line as UTF-8 words (on Windows read again from the system's own UTF-16
// command line; a window program started from a console also writes to that console from here on).
// Whether this system has the root ROOT ("/", "C:/", "//server/share/"): a POSIX system has only "/", so
// a drive or share named there is no folder of the working folder either.
int SystemHasRoot(const std::string& root);
std::vector<std::string> ProgramArguments(int argc, char** argv);
