// The command line: which backend, which data folder, and the headless run's script and captures.
#include <unistd.h>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "app/app.h"
#include "platform/platform.h"

namespace {
const char usage[] =
    "usage: kirake [--data DIR] [--window] [--verbose] [--frames N]\n"
    "       kirake --headless [--data DIR] [--frames N] [--keys FILE] [--trace FILE]\n"
    "              [--capture LIST --capture-dir DIR] [--record-audio FILE.wav] [--fault SPEC]...\n"
    "              [--epoch SECONDS]\n"
    "       kirake [--headless] [--data DIR] [--watch] [--start SCENE [--start-keys FILE]] ...\n"
    "Plays the game (Esc ends it). --window plays in a window instead of full screen.\n"
    "--headless runs without a display on a virtual clock: --frames N stops after N frames; --keys runs\n"
    "a key script; --trace writes one JSON line per frame; --capture writes the listed frames (\"0,10-20\")\n"
    "as frame-NNNNNN.png; --record-audio writes what sounded; --fault injects a failure\n"
    "(display:STEP, palette@F, surface-lost@F, input-lost@F, no-keyboard, no-sound).\n"
    "--watch takes the data folder's saved files while playing (pictures, data.txt, songs, effects).\n"
    "--start SCENE begins at a scene as a player would reach it: title, opening, choice, route:PARTNER,\n"
    "route-choice:PARTNER, ending:match|miss[:PARTNER], roll[:match|miss[:PARTNER]] (PARTNER: hiyori,\n"
    "heren, fuuya, or the first answer 0-2; hiyori when left out); --start-keys writes the keys of the way.\n";

std::string Absolute(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

// The default data: beside the build's executable, or where it is installed.
std::string DefaultDataDir() {
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return ".";
    exe[n] = 0;
    std::string dir(exe);
    dir.erase(dir.rfind('/'));
    for (const char* candidate : {"/../gamedata", "/gamedata", "/../share/kirake/data"}) {
        std::string path = dir + candidate;
        if (access(path.c_str(), F_OK) == 0) return path;
    }
    return ".";
}

bool ParseLong(const char* text, long* value) {
    char* end;
    *value = std::strtol(text, &end, 10);
    return *text && !*end;
}
}  // namespace

int main(int argc, char** argv) {
    PlatformOptions options;
    std::string dataDir, traceFile;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kirake: %s needs a value\n%s", name, usage);
                std::exit(2);
            }
            return argv[++i];
        };
        long number;
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("kirake %s\n", KIRAKE_VERSION);
            return 0;
        } else if (arg == "--data") {
            dataDir = value("--data");
        } else if (arg == "--window") {
            options.window = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--frames" && ParseLong(value("--frames"), &number) && number >= 0) {
            options.frames = number;
        } else if (arg == "--keys") {
            options.keysFile = Absolute(value("--keys"));
        } else if (arg == "--trace") {
            traceFile = Absolute(value("--trace"));
        } else if (arg == "--capture") {
            options.captureList = value("--capture");
        } else if (arg == "--capture-dir") {
            options.captureDir = Absolute(value("--capture-dir"));
        } else if (arg == "--record-audio") {
            options.recordAudio = Absolute(value("--record-audio"));
        } else if (arg == "--fault") {
            options.faults.push_back(value("--fault"));
        } else if (arg == "--watch") {
            options.watch = true;
        } else if (arg == "--start") {
            if (!SetStartScene(value("--start"))) {
                std::fprintf(stderr, "kirake: unknown scene \"%s\"\n%s", argv[i], usage);
                return 2;
            }
        } else if (arg == "--start-keys") {
            SetStartKeysFile(Absolute(value("--start-keys")).c_str());
        } else if (arg == "--epoch" && ParseLong(value("--epoch"), &number)) {
            options.epoch = number;
        } else {
            std::fprintf(stderr, "kirake: bad option or value \"%s\"\n%s", argv[i], usage);
            return 2;
        }
    }
    if (!options.headless &&
        (!options.keysFile.empty() || !options.captureList.empty() || !traceFile.empty() ||
         !options.recordAudio.empty() || !options.faults.empty())) {
        std::fprintf(stderr, "kirake: --keys, --trace, --capture, --record-audio and --fault need --headless\n");
        return 2;
    }
    if (dataDir.empty()) dataDir = DefaultDataDir();
    if (chdir(dataDir.c_str()) != 0) {
        std::fprintf(stderr, "kirake: cannot enter the data folder %s\n", dataDir.c_str());
        return 1;
    }
    std::string error;
    if (!PlatformStart(options, &error)) {
        std::fprintf(stderr, "kirake: %s\n", error.c_str());
        return 1;
    }
    if (!traceFile.empty() && !OpenTrace(traceFile.c_str())) {
        std::fprintf(stderr, "kirake: cannot write %s\n", traceFile.c_str());
        PlatformStop();
        return 1;
    }
    int exitCode = WinMain();
    CloseTrace();
    PlatformStop();
    return exitCode;
}
