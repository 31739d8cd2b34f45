// Key scripts: a fuzzed script read as --keys reads it, then its first frames delivered (keys, saves into
// the harness's own folder, which is the data folder here).
#include <unistd.h>
#include <cstdlib>
#include <string>
#include "platform/backend.h"
#include "platform/core/core.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "support.h"

namespace {
char home[4096];
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!getcwd(home, sizeof home)) std::abort();
    static const char from[] = "tx0 saved<!";
    WriteBytes(FuzzFolder() + "/from.txt", reinterpret_cast<const uint8_t*>(from), sizeof from - 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = FuzzFolder() + "/keys.txt";
    if (!WriteBytes(path, data, size)) return 0;
    PlatformOptions options;
    options.headless = true;
    options.keysFile = path;
    std::string error;
    // The whole run in the harness's own folder: a save may come at the start or at the end as well.
    if (chdir(FuzzFolder().c_str()) != 0) std::abort();
    if (PlatformStart(options, &error)) {
        for (int frame = 0; frame < 64; ++frame) {
            CurrentBackend()->pumpEvents();
            FrameShown();
        }
        Message m;
        while (PeekWindowMessage(&m)) GetWindowMessage(&m);  // what the script posted goes with the run
        PlatformStop();
    }
    if (chdir(home) != 0) std::abort();
    return 0;
}
