// Application shell: the entry point, the window procedure, the frame loop, fatal error and teardown.
#pragma once
#include <cstdint>
#include "platform/window.h"

struct AppState {
    Window mainWindow;
    int appActive;      // gates the frame loop
    int displayActive;  // gates keyed drawing and the Esc key; always set together with appActive
    Message msg;        // the loop's message record; wParam of MSG_QUIT is the exit code
};
extern AppState app;

int WinMain();
intptr_t WindowProc(Window window, int message, uintptr_t wParam, intptr_t lParam);
int PostClose(Window window);
void RunFrame(Window window);  // one frame of the loop: input, music, chapter, compose and flip

void ReleaseDisplay();
int FatalError(Window window);

// Frame trace (JSON Lines), one line per frame after it is shown; off unless a file is opened.
int OpenTrace(const char* path);
void WriteTraceLine();  // after each frame, numbered from 0
// Sound slots started with PlaySlot (mode 1) during the frame, for the trace's "plays".
void TraceNotePlay(int slot);
void CloseTrace();
