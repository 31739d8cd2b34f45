// Script text: a fuzzed data.txt read as start-up reads it, then every message id the story asks for
// typed to its end, with a key at every wait. A message that does not end within a bound is a hang.
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include "gfx/gfx.h"
#include "input/input.h"
#include "platform/window.h"
#include "support.h"
#include "text/text.h"

namespace {
char home[4096];
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!OpenFuzzDisplay() || !getcwd(home, sizeof home)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!WriteBytes(FuzzFolder() + "/DATA.TXT", data, size)) return 0;
    // Start-up reads data.txt from the working folder: go there for the read only.
    if (chdir(FuzzFolder().c_str()) != 0) return 0;
    LoadScriptText(1);
    if (chdir(home) != 0) std::abort();
    message.textOriginX = 60;
    message.textOriginY = 355;
    // The text is read and typed as in the game, on no surface: a shake's full-screen copies, the
    // cleared boxes and the glyphs of every frame told nothing about the reader and cost most of a run.
    // Pen advances come from the font, as when a drawing context cannot be had.
    DisplayState shown = display;
    display.primary = display.backBuffer = nullptr;
    // Messages are typed in the order of their ids until the run has typed about twice its text: a
    // message without its end marker runs on to the end of the text, and typing every such tail again
    // for each later id cost most of a run and found nothing new.
    static const char ids[] = "0123456789#$%&:-?,.";
    const long budget = 2 * long(message.scriptSize) + 256;
    long typed = 0;
    for (const char* id = ids; *id && typed < budget; ++id) {
        const long limit = 3 * long(message.scriptSize) + 64;
        long frames = 0;
        keysPressed = 0;
        while (!TypeMessage(1, message.scriptText, message.textOriginX, message.textOriginY, 21, nullptr, 255, 255,
                            255, uint8_t(*id))) {
            keysPressed = message.keyWait ? KEY_Z : 0;
            if (++frames > limit) {
                std::fprintf(stderr, "message '%c' did not end in %ld frames\n", *id, limit);
                std::abort();
            }
        }
        typed += frames;
    }
    display = shown;
    std::free(message.scriptText);  // the run's text, and the close a failed load posts, go with it
    message.scriptText = nullptr;
    message.scriptSize = 0;
    Message posted;
    while (PeekWindowMessage(&posted)) GetWindowMessage(&posted);
    return 0;
}
