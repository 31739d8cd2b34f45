// kirake-storyboard's path player (tools/storyboard/play_script.cpp): every path of a fuzzed story script
// found and played, its choices answered and its draws' outcomes split as the tool does, with a low frame,
// loop and path limit. The input is the scenes harness's (scenes.txt and its includes; keys are ignored:
// the player decides). The tool plays each path in a whole run of the game; here a run is the script's
// frames alone over the tiny story folder (the game's start-up and drawing are the other harnesses'),
// with this file's stand-ins for what the tool's capture.cpp does.
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include "app/app.h"
#include "app/hooks.h"
#include "input/input.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "sound/sound.h"
#include "story/story.h"
#include "support.h"
#include "../tools/storyboard/storyboard.h"

namespace {
char home[4096];
const ScriptProgram* playing;  // the program each run of this input plays

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "storyboard: %s\n", what.c_str());
    std::abort();
}
}  // namespace

std::vector<SongFile> SongsIn(const std::string&) { return {}; }
std::string SongPlaying(const std::vector<SongFile>&) { return music.songPlaying ? "a song" : ""; }
std::string CapturePicture(const std::string&) { return ""; }
PlatformOptions PlayerOptions(long frames) {
    PlatformOptions options;
    options.headless = true;
    options.frames = frames;
    return options;
}

// One run: the script's frames from the title, the hook before each, until the hook closes the game or
// the frame limit.
int RunGame(const PlatformOptions& options, std::string*) {
    Window window = app.mainWindow;
    BeginFuzzScript(ScriptProgram(*playing));
    ContinueFrameNumbers(0);
    if (chdir(FuzzFolder().c_str()) != 0) std::abort();
    bool closed = false;
    for (long frame = 0; frame < options.frames && !closed; ++frame) {
        RunChapter(window);
        Message posted;
        while (PeekWindowMessage(&posted)) {
            GetWindowMessage(&posted);
            closed = closed || posted.id == MSG_CLOSE;
        }
        FrameShown();
    }
    if (chdir(home) != 0) std::abort();
    EndFuzzScript();
    keysHeld = keysPressed = 0;
    return 1;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!getcwd(home, sizeof home) || !OpenFuzzDisplay() || !OpenFuzzStoryFolder()) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ScriptProgram program;
    if (!ReadFuzzScript(SplitFuzzScript(data, size), &program)) return 0;
    playing = &program;
    BoardOptions options;
    options.frameLimit = 60;
    options.loopLimit = 2;
    options.pathLimit = 6;
    PlayedStory played;
    played.script = true;
    played.frameLimit = options.frameLimit;
    std::string why;
    if (!PlayScriptPaths(FuzzFolder(), options, &played, &why)) Fail("the player could not run: " + why);
    hooks.beforeScene = nullptr;
    // Every path was played to an end the page can name, and no more paths than allowed.
    if (played.scriptPaths.empty() || played.scriptPaths.size() > size_t(options.pathLimit) ||
        played.moments.size() != played.scriptPaths.size())
        Fail("paths played: " + std::to_string(played.scriptPaths.size()));
    for (size_t i = 0; i < played.scriptPaths.size(); ++i) {
        const ScriptPath& path = played.scriptPaths[i];
        if (path.end != "roll" && path.end != "end" && path.end != "loop" && path.end != "frames" &&
            path.end != "stopped")
            Fail("a path ended as \"" + path.end + "\": " + path.why);
        if (path.frames > options.frameLimit) Fail("a path ran past the frame limit");
        PathFinished(played, i);
        PathAtFrameLimit(played, i);
    }
    return 0;
}
