// The spine of the program: start-up in its fixed order, the window procedure and the frame loop.
#include "app/app.h"
#include "app/comforts.h"
#include "app/session.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "platform/clock.h"
#include "platform/watch.h"
#include "sound/sound.h"
#include "story/script.h"
#include "story/story.h"
#include "text/text.h"

AppState app;

const EffectFile effectBank[EFFECT_COUNT] = {
    {0, "End.wav"}, {1, "Crash.wav"}, {2, "Houtyo.wav"}, {3, "Han.wav"},
    {4, "mag.wav"}, {5, "messg.wav"}, {6, "hako3.wav"},  {7, "punch3.wav"},
};

intptr_t WindowProc(Window window, int message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case MSG_ACTIVATEAPP:
            app.displayActive = int(wParam);
            app.appActive = int(wParam);
            return 0;
        case MSG_KEYDOWN:
            // Esc closes an overlay of the player's; else it ends the game at once.
            if (app.displayActive && wParam == VKEY_ESCAPE && !ClosePlayerOverlay())
                PostWindowMessage(window, MSG_CLOSE, 0, 0);
            return 0;
        case MSG_DESTROY:
            ReleaseDisplay();
            PostQuit(FailureReported() ? 1 : 0);  // a failure ending is not a success
            return 0;
        default:
            return DefaultWindowProcedure(window, message, wParam, lParam);
    }
}

int PostClose(Window window) { return PostWindowMessage(window, MSG_CLOSE, 0, 0); }

void RunFrame(Window window) {
    ReadInput(&input.keysHeld, &input.keysPressed);
    DecideComfortFrame();
    NoteSessionFrame();
    MusicTick();
    RunChapter(window);
    ShownState shown = StoryShownState();
    shown.overlay = PlayerOverlayOpen();
    SetShownState(shown);
    DrawBaseLayer(window);
    DrawSprites(window);
    FlipPage(window);
}

int WinMain() {
    if (!RegisterWindowClass("Win32A", WindowProc, "icon")) return 1;
    app.mainWindow = CreateMainWindow("Win32A", "kirake");
    if (!app.mainWindow) return 1;
    Window window = app.mainWindow;
    ShowMainWindow(window);
    HideMouseCursor();

    app.liveReload = *WatchMethod() ? 1 : 0;
    sheetSources.keepPictures = app.liveReload;
    if (!InitDisplay(window)) return 1;
    InitStoryState(window);
    InitSound(window);
    LoadDrumKit();
    LoadScriptText(window);
    if (message.scriptText) LoadStoryScript(window);
    InitInput(window);
    for (const EffectFile& effect : effectBank) LoadEffect(effect.file, effect.slot);
    SongControl(SONG_LOAD, "kura3.pmd");
    if (!ReachStartScene(window)) {
        DestroyMainWindow(window);
        return 1;
    }
    BeginSession(window);  // a game left may be continued (closed while asking: the loop ends at once)

    for (;;) {
        if (PeekWindowMessage(&app.msg)) {
            if (!GetWindowMessage(&app.msg)) return int(app.msg.wParam);
            DispatchWindowMessage(&app.msg);
        } else if (app.appActive) {
            if (app.liveReload) TakeSavedDataFiles(window);
            if (PlayerOverlayOpen())
                RunOverlayFrame(window);  // the story stands still under the player's overlay
            else
                RunFrame(window);
            WriteTraceLine();
            FrameShown();
        } else {
            WaitWindowMessage();
        }
    }
}
