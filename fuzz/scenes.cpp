// Story scripts: a fuzzed scenes.txt and the files it includes, read from memory as start-up reads the
// folder's script, then, when it reads without problems, played for up to 200 frames over a tiny story
// folder (a few small pictures and a short data.txt, made once), with keys taken from the input.
//
// The input: scenes.txt up to the first line "--- NAME", then each "--- NAME" line starts the file NAME
// (at most 8). "--- @keys" starts the keys instead, a character a frame: z, space, u (up), d (down),
// anything else no key; without it the keys come from a generator seeded with the input. "--- @start"
// followed by a line PATH plays the way to PATH as --start does, with the keys of its player.
#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>
#include "app/app.h"
#include "gfx/gfx.h"
#include "input/input.h"
#include "platform/display.h"
#include "platform/overlay.h"
#include "platform/window.h"
#include "story/script.h"
#include "story/story.h"
#include "support.h"
#include "text/text.h"

namespace {

constexpr int FRAMES = 200;
constexpr long LINES_PER_RUN = 50000;  // a run that has run this many commands ends early
char home[4096];

uint16_t KeyOf(char c) {
    switch (c) {
        case 'z': return KEY_Z;
        case ' ': return KEY_SPACE;
        case 'u': return KEY_UP;
        case 'd': return KEY_DOWN;
        default: return 0;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!getcwd(home, sizeof home) || !OpenFuzzDisplay()) std::abort();
    if (!OpenFuzzStoryFolder()) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzScriptInput in = SplitFuzzScript(data, size);
    ScriptProgram program;
    if (!ReadFuzzScript(in, &program)) return 0;
    Window window = app.mainWindow;
    BeginFuzzScript(std::move(program));
    ScriptPlayer& p = scriptPlayer;
    std::string start = in.start.substr(0, in.start.find('\n'));
    bool starting = in.hasStart && ScriptStartBegin(start, &start);
    uint64_t seed = 0xcbf29ce484222325u;
    for (size_t i = 0; i < size; ++i) seed = (seed ^ data[i]) * 0x100000001b3u;
    // The data folder is the working folder while the story plays: pictures are loaded by name.
    if (chdir(FuzzFolder().c_str()) != 0) std::abort();
    long lines = 0;
    for (int frame = 0; frame < FRAMES && lines < LINES_PER_RUN; ++frame) {
        if (starting) {
            keysPressed = ScriptStartKeys(2);
        } else if (in.hasKeys) {
            keysPressed = in.keys.empty() ? 0 : KeyOf(in.keys[size_t(frame) % in.keys.size()]);
        } else {
            seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
            const uint16_t keys[] = {0, 0, 0, KEY_Z, KEY_Z, KEY_SPACE, KEY_SPACE, KEY_DOWN, KEY_UP, KEY_Z | KEY_SPACE};
            keysPressed = keys[seed % (sizeof keys / sizeof keys[0])];
        }
        RunScriptFrame(window);
        ScriptShownState();
        if (starting) ScriptStartReached();
        lines += p.frameLines;
        if (p.stopped || size_t(p.pc) >= p.program.commands.size()) break;
    }
    // The last frame composed once: the sprites as the script left them, clipped to their sheets.
    DrawBaseLayer(window);
    DrawSprites(window);
    ScriptPosition();
    if (chdir(home) != 0) std::abort();

    EndFuzzScript();
    return 0;
}
