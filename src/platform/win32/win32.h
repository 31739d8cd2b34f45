// Inside the Windows backend: what its Win32 side (the files that include <windows.h>) offers the side
// that fills the backend table (backend_win32.cpp, which includes the platform's own headers). Only
// plain types cross here, so that neither side sees the other's names.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// UTF-16 (length in units, or -1 up to the terminating NUL) to UTF-8.
std::string Win32Utf8(const wchar_t* wide, int length = -1);
std::wstring Win32Wide(const std::string& utf8);  // UTF-8 as UTF-16; "" for an empty or bad text

// What the window tells the rest of the backend (set by backend_win32.cpp before the window opens).
struct Win32Events {
    void (*activate)(int active);  // WM_ACTIVATEAPP
    void (*close)();               // the close box, Alt+F4, the system
    void (*escape)();              // Esc went down
    void (*screenshot)();          // F12
    void (*key)(int virtualKey, int down);  // a key went down (not repeated) or up; the right Ctrl as VK_RCONTROL
    void (*wheel)(int up);         // the mouse wheel turned (up: away from the player)
    void (*suspend)();             // the session is ending (WM_QUERYENDSESSION, WM_ENDSESSION)
};

struct Win32WindowOptions {
    bool windowed = false;      // start in a window instead of full screen on the monitor
    bool integerScale = false;  // the largest whole multiple of the page that fits
    bool verbose = false;
    std::string pacing;         // "auto", "vsync", "timer"
};

// The window: "kirake" caption, the executable's icon, window or borderless full screen on its monitor.
// 1, or 0 with the reason in *error.
int Win32OpenWindow(const char* caption, const Win32WindowOptions& options, const Win32Events& events,
                    std::string* error);
void Win32CloseWindow();
void Win32HideCursor();
void Win32ToggleFullscreen();
int Win32IsFullscreen();
// Handles waiting window messages; the second waits for one first.
void Win32PumpMessages();
void Win32WaitMessages();
// Shows a 640x480 8-bit page through 256 colours (red, green, blue; null: black) and waits for the next
// game frame's deadline.
void Win32Present(const uint8_t* pixels, int pitch, const uint8_t (*colours)[3]);
// Frame pacing figures (--stats), printed at the end.
void Win32PrintStats(long framesShown);
// A modal box with one OK button, texts in UTF-8; leaves full screen first.
void Win32MessageBox(const char* text, const char* caption);
// Game controllers (XInput, loaded when present): the buttons held on any pad now, and those that went
// down since the last read, as PAD_* bits (the left stick counts as the d-pad).
enum PadBit {
    PAD_LEFT = 1, PAD_RIGHT = 2, PAD_UP = 4, PAD_DOWN = 8, PAD_A = 16, PAD_B = 32, PAD_X = 64, PAD_Y = 128,
    PAD_START = 256,
};
void Win32ReadPads(unsigned* held, unsigned* pressed);

// Clocks: milliseconds since the window system started (steady), seconds since 1970.
uint32_t Win32Milliseconds();
int64_t Win32CalendarTime();

// The Pictures folder's kirake folder (made when missing), in UTF-8; "" when there is none.
std::string Win32ScreenshotFolder();
// The local time as "YYYY-MM-DD_HH-MM-SS".
std::string Win32TimeStamp();
int Win32FileExists(const std::string& utf8Path);
// The user's locale name ("es-ES"), for the story's language; "" when the system gives none.
std::string Win32Language();
// The program's arguments from the UTF-16 command line (attaching the console it was started from), and
// whether a drive or share exists (program_win32.cpp).
std::vector<std::string> Win32ProgramArguments(int argc, char** argv);
int Win32HasRoot(const std::string& root);
std::string Win32ProgramPath();  // the executable's own file (GetModuleFileNameW), "" when not told

// Sound through WASAPI shared mode, or waveOut where WASAPI cannot open: a thread of the device asks
// render for interleaved stereo 16-bit frames. 1 with the device's rate, or 0 with the reason.
int Win32AudioOpen(int wantedRate, void (*render)(int16_t* out, int frames), int* rate, std::string* reason,
                   std::string* name);
void Win32AudioClose();
// Fades out and holds (1), or fades in where it stopped (0).
void Win32AudioPause(int paused);
// Holds the device's thread from rendering (1) or lets it go on (0): while held, render is not called.
void Win32AudioLock(int locked);

// Kept files (keep_win32.cpp) in %APPDATA%\kirake (local 0) or %LOCALAPPDATA%\kirake (local 1); the name
// is checked already. As ReadKept, WriteKept (failHalfway: the write stops half way, --fault keep-write),
// SetKeptAside and KeptPlace.
int Win32KeptRead(int local, const std::string& name, size_t maxBytes, std::string* bytes, std::string* why);
int Win32KeptWrite(int local, const std::string& name, const std::string& bytes, int failHalfway, std::string* why);
int Win32KeptAside(int local, const std::string& name);
std::string Win32KeptPlace(int local, const std::string& name);
// Speech through a SAPI voice (speech_win32.cpp), made at the first text: says the text (UTF-8),
// cutting off the one before; whether there is a voice (else why); silent and released.
void Win32Say(const char* text);
int Win32SpeechAvailable(std::string* why);
void Win32SpeechStop();
