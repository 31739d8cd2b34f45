// Inside the platform: what the portable core offers the backends (and the tests that drive them).
#pragma once
#include <cstdint>
#include <string>
#include "platform/backend.h"
#include "platform/core/core.h"

// The language a POSIX environment names, read as gettext reads it (program.cpp): the locale is
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

// PNG writing, by the running backend's writer (Backend.writePng): 1, or 0 when not written.
int WritePng(const char* path, const uint8_t* rgb, int width, int height);

// The sound output of the backend for options.headless (platform.cpp), as PlatformStart starts it; tests
// start one by itself. Before any start, the headless backend's.
int SoundBackendStart(const PlatformOptions& options, std::string* error);
void SoundBackendStop();
int SoundBackendOpen();
void SoundBackendFrameShown(long framesShown);
// The real device while the game is paused: fades out and holds, then fades in where it stopped.
void SoundBackendPause(int paused);

// Speech (speech.cpp): PlatformStart forgets the lines not yet taken; PlatformStop stops the backend's
// speech output.
void SpeechReset();
void SpeechStop();

// The English line of the failure ending in progress (window.h ReportFailure), or empty.
const std::string& PendingFailure();
// Why the display last refused a step, for FatalError's line (surfaces.cpp keeps it).
void NoteDisplayRefusal(const std::string& reason);
// A frame run but not shown (BeginUnshownFrames): the real device's voices move on by one frame, unheard.
void SoundBackendFrameSkipped(long framesRun);
// Silences the real device while frames are not shown (1), and lets it sound again (0).
void SoundBackendHold(int hold);
// The sound outputs: the real device (sdl/), the frame clock of headless runs (headless/frame_clock.cpp,
// with the mixer), the browser's (web/).
extern const SoundOutput sdlSound;
extern const SoundOutput frameClockSound;
extern const SoundOutput webSound;
// The refreshes that the frames run but not shown so far took (one each, and one for every flip of a frame
// beyond its first, as when they are shown); the headless clock counts them.
long UnshownFrameCount();
// FlipSurface while frames are not shown: the flip takes its refresh of the clock all the same.
void NoteUnshownFlip();
