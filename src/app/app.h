// Application shell: the entry point, the window procedure, the frame loop, fatal error and teardown.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "platform/window.h"

struct AppState {
    Window mainWindow;
    int appActive;      // gates the frame loop
    int displayActive;  // gates keyed drawing and the Esc key; always set together with appActive
    Message msg;        // the loop's message record; wParam of MSG_QUIT is the exit code
    int liveReload;     // the data folder is watched: saved files are taken at each frame boundary
};
extern AppState app;

// The effect bank: the eight WAV files loaded into the effect slots at start-up.
struct EffectFile {
    int slot;
    const char* file;
};
constexpr int EFFECT_COUNT = 8;
extern const EffectFile effectBank[EFFECT_COUNT];

int WinMain();
intptr_t WindowProc(Window window, int message, uintptr_t wParam, intptr_t lParam);
int PostClose(Window window);
void RunFrame(Window window);  // one frame of the loop: input, music, chapter, compose and flip

void ReleaseDisplay();
int FatalError(Window window);

// Live reload (reload.cpp), at the frame boundary: takes the data files saved since the last frame.
// A file that cannot be taken is reported on standard error and over the page; the game keeps the last
// good version.
void TakeSavedDataFiles(Window window);
// Forgets the files not taken and the notes over the page (the folder is back as it was: the fuzzers).
void ForgetLiveReloadNotes();

// Story projects (rebuild.cpp): a data folder that holds its sources (pictures/, songs/) has them
// rebuilt when they are saved while the game watches it: pictures/NAME.pic into bmp/NAME.BMP (a palette
// or include into every picture that reads it), songs/NAME.song into NAME.pmd. The live reload then takes
// the written files as saved ones.
struct RebuildResult {
    std::string source;              // the saved source, inside the data folder
    std::vector<std::string> built;  // the files written
    std::string error;               // "FILE:LINE: ..." when nothing was written
};
// 1 when this build can rebuild sources (the desktop build, with the picture compiler).
int ProjectRebuildAvailable();
// main, with --watch: builds on a worker thread, or in the caller at the frame boundary when
// `inlineBuilds` (the virtual clock of the headless backend, where a frame takes no time). The sources
// queued together are built together: a picture that reads several of them is built once.
void StartRebuilds(int inlineBuilds);
void StopRebuilds();
// At the frame boundary: 1 when the saved path is a source, now queued to be built.
int QueueSourceRebuild(const std::string& path);
// At the frame boundary: the builds finished since the last call (with inline builds, those of the
// sources queued since then, made now).
void TakeFinishedRebuilds(std::vector<RebuildResult>* results);

// Frame trace (JSON Lines), one line per frame after it is shown; off unless a file is opened.
int OpenTrace(const char* path);
void WriteTraceLine();  // after each frame, numbered from 0
// 1, or 0 when the trace could not be written (said on standard error once, when it happened).
int CloseTrace();
// Forgets the sounds noted so far (the frames run to reach a starting scene are not traced).
void ForgetTracePlays();
// A continued game's trace numbers its lines from the frame the left game reached.
void SetTraceFrame(long frame);

// Starting at a scene (start.cpp): the frames from the title to the scene are played by a built-in
// player before the first frame is shown. SCENE: with a story script, places of the script joined by "/";
// without one: title, opening, choice, route:PARTNER, route-choice:PARTNER, ending:match|miss[:PARTNER],
// roll[:match|miss[:PARTNER]]; PARTNER is hiyori, heren, fuuya or the first answer 0-2. 1, or 0 for a
// SCENE that can be neither.
int SetStartScene(const char* scene);
// In the data folder, before the game starts: 1 when the scene can be started at in the story that will
// play (a place of the folder's story script, or a scene of the built-in story); 0 with *why.
int CheckStartScene(std::string* why);
// Also write the keys of the way there as a key script (frames from the title). 1, or 0.
int SetStartKeysFile(const char* path);
// WinMain, before the frame loop: plays to the starting scene. 1, or 0 when it cannot be reached.
int ReachStartScene(Window window);
// One frame run but not shown (between BeginUnshownFrames and EndUnshownFrames), with the keys and
// comforts already set: music, chapter, compose and flip. 1, or 0 after a fatal display error.
int RunUnshownFrame(Window window);
