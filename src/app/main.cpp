// The command line: which backend, which data folder, and the headless run's script and captures.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "app/app.h"
#include "app/comforts.h"
#include "app/session.h"
#include "story/script.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "text/text.h"

namespace {
const char usage[] =
    "Usage: kirake [OPTION]...\n"
    "  or:  kirake --headless [OPTION]...\n"
    "Plays the kirake story game, full screen; Esc ends it.\n"
    "\n"
    "Options:\n"
    "  --data DIR           play the data in DIR (default: the data installed with the game)\n"
    "  --window             play in a window instead of full screen (Alt+Enter or F11 switch at any\n"
    "                       time; F12 saves a screenshot)\n"
    "  --fullscreen         start full screen (the default)\n"
    "  --scale fit|integer  fit the page to the screen (default), or show it at the largest whole\n"
    "                       multiple that fits\n"
    "  --pacing auto|vsync|timer\n"
    "                       pace frames by vsync when the display really runs at a multiple of 60 Hz,\n"
    "                       else by the clock (auto, the default); try vsync whatever the display\n"
    "                       claims (still checked); or always the clock\n"
    "  --stats              print frame pacing figures at the end\n"
    "  --backend NAME       play through the build's backend NAME (a name it lacks lists those it has)\n"
    "  --verbose            say on stderr what fonts and sound device were chosen\n"
    "  --frames N           stop after N frames\n"
    "  --trace FILE         write one JSON line per frame to FILE\n"
    "  --watch              take the data folder's saved files while playing (pictures, data.txt,\n"
    "                       songs, effects)\n"
    "  --start SCENE        begin at a scene as a player would reach it. With a story script: a scene or\n"
    "                       label, or several joined by / that the way passes in turn. Without one: title,\n"
    "                       opening, choice, route:PARTNER, route-choice:PARTNER, ending:match|miss[:PARTNER],\n"
    "                       roll[:match|miss[:PARTNER]] (PARTNER: hiyori, heren, fuuya, or the first\n"
    "                       answer 0-2; hiyori when left out)\n"
    "  --start-keys FILE    write the keys of the way to the scene as a key script\n"
    "  --lang LANG          play the story's text in LANG (a code such as es or pt-BR: the data folder's\n"
    "                       data.LANG.txt; pt-BR tries data.pt-BR.txt, then data.pt.txt), else its own\n"
    "                       data.txt; without --lang the system's language (LANGUAGE, LC_ALL,\n"
    "                       LC_MESSAGES, LANG), except in headless runs, which play data.txt\n"
    "  --builtin-story      play the built-in story even where the folder has a story script (scenes.txt)\n"
    "  --continue           continue the game left last time, without asking (when it is of this story)\n"
    "  --afresh             start afresh, without asking; the game left is no longer kept\n"
    "  --text-speed 1|2|4|page\n"
    "                       type 1 (the default), 2 or 4 characters a frame, or a whole page at once\n"
    "  --auto               go on by itself at the end of a page (A switches it; never at a question)\n"
    "  --self-voicing       say the text aloud (Shift+V switches it)\n"
    "                       These three, full screen and the volumes are kept in the settings (F10);\n"
    "                       the command line wins over them for the run\n"
    "  -h, --help           show this help and exit\n"
    "  --version            show the version and exit\n"
    "\n"
    "Headless runs, for tests and authors:\n"
    "  --headless           run without a display, on a virtual clock of exactly 1000/60 ms a frame\n"
    "  --keys FILE          play the key script FILE\n"
    "  --capture LIST       write the listed frames (\"0,10-20\") as frame-NNNNNN.png\n"
    "  --capture-dir DIR    the folder --capture writes to\n"
    "  --record-audio FILE  write what sounded to FILE (WAV)\n"
    "  --fault SPEC         inject a failure: display:STEP, palette@F, surface-lost@F, input-lost@F,\n"
    "                       no-keyboard, no-sound, no-inotify, keep-write (repeatable)\n"
    "  --epoch SECONDS      the calendar time at the start (default 946684800, 2000-01-01)\n";

// The default data: beside the build's executable, or where it is installed. Never the working folder:
// a data.txt that happens to lie there is not played. Empty, with *looked naming the places, when none.
// The places are written with the separator of the program's own path ("\" on Windows), as the player's
// system writes them.
std::string DefaultDataDir(const char* argv0, std::vector<std::string>* looked) {
    std::string dir = ProgramFolder(argv0);
    if (dir.empty()) return "";
    char separator = dir.find('\\') != std::string::npos && dir.find('/') == std::string::npos ? '\\' : '/';
    for (std::string candidate : {"../gamedata", "gamedata", "../share/kirake/data", "data"}) {  // Windows: data\ beside the game
        for (char& c : candidate) c = c == '/' ? separator : c;
        std::string path = dir + separator + candidate;
        if (PathExists(path)) return path;
        looked->push_back(path);
    }
    return "";
}

bool ParseLong(const char* text, long* value) {
    char* end;
    *value = std::strtol(text, &end, 10);
    return *text && !*end;
}
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words = ProgramArguments(argc, argv);  // UTF-8 (Windows: from UTF-16)
    std::vector<char*> pointers;
    for (std::string& word : words) pointers.push_back(word.data());
    argc = int(pointers.size());
    pointers.push_back(nullptr);
    argv = pointers.data();
    PlatformOptions options;
    std::string dataDir, traceFile, startScene;
    // The player's settings, overruled by the command line (applied after reading them).
    LoadSettings();
    bool windowGiven = false, langGiven = false;
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
            if (dataDir.empty()) {
                std::fprintf(stderr, "kirake: --data needs a folder, not an empty name\n%s", usage);
                return 2;
            }
        } else if (arg == "--window") {
            options.window = true;
            windowGiven = true;
        } else if (arg == "--fullscreen") {
            options.window = false;
            windowGiven = true;
        } else if (arg == "--text-speed") {
            std::string speed = value("--text-speed");
            if (speed != "1" && speed != "2" && speed != "4" && speed != "page") {
                std::fprintf(stderr, "kirake: --text-speed is 1, 2, 4 or page\n%s", usage);
                return 2;
            }
            settings.textSpeed = speed == "page" ? 0 : std::atoi(speed.c_str());
        } else if (arg == "--auto") {
            settings.autoAdvance = 1;
        } else if (arg == "--self-voicing") {
            settings.selfVoicing = 1;
        } else if (arg == "--scale") {
            std::string scale = value("--scale");
            if (scale != "fit" && scale != "integer") {
                std::fprintf(stderr, "kirake: --scale is fit or integer\n%s", usage);
                return 2;
            }
            options.integerScale = scale == "integer";
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--pacing") {
            options.pacing = value("--pacing");
            if (options.pacing != "auto" && options.pacing != "vsync" && options.pacing != "timer") {
                std::fprintf(stderr, "kirake: --pacing is auto, vsync or timer\n%s", usage);
                return 2;
            }
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg == "--backend") {
            options.backend = value("--backend");
        } else if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--frames" && ParseLong(value("--frames"), &number) && number >= 0) {
            options.frames = number;
        } else if (arg == "--keys") {
            options.keysFile = AbsolutePath(value("--keys"));
        } else if (arg == "--trace") {
            traceFile = AbsolutePath(value("--trace"));
        } else if (arg == "--capture") {
            options.captureList = value("--capture");
        } else if (arg == "--capture-dir") {
            options.captureDir = AbsolutePath(value("--capture-dir"));
        } else if (arg == "--record-audio") {
            options.recordAudio = AbsolutePath(value("--record-audio"));
        } else if (arg == "--fault") {
            options.faults.push_back(value("--fault"));
        } else if (arg == "--watch") {
            options.watch = true;
        } else if (arg == "--start") {
            startScene = value("--start");
            if (!SetStartScene(startScene.c_str())) {
                std::fprintf(stderr, "kirake: unknown scene \"%s\"\n%s", argv[i], usage);
                return 2;
            }
        } else if (arg == "--continue" || arg == "--afresh") {
            SetSessionAnswer(arg.c_str() + 2);
        } else if (arg == "--builtin-story") {
            UseBuiltinStory(1);
        } else if (arg == "--start-keys") {
            SetStartKeysFile(AbsolutePath(value("--start-keys")).c_str());
        } else if (arg == "--lang") {
            langGiven = true;
            if (!SetScriptLanguage(value("--lang"))) {
                std::fprintf(stderr, "kirake: --lang takes a language code such as es or pt-BR, not \"%s\"\n%s",
                             argv[i], usage);
                return 2;
            }
        } else if (arg == "--epoch" && ParseLong(value("--epoch"), &number)) {
            options.epoch = number;
        } else {
            std::fprintf(stderr, "kirake: bad option or value \"%s\"\n%s", argv[i], usage);
            return 2;
        }
    }
    if (!windowGiven) options.window = !settings.fullscreen;
    if (!langGiven && !settings.language.empty()) SetScriptLanguage(settings.language);
    ApplySettings();
    if (!options.headless &&
        (!options.keysFile.empty() || !options.captureList.empty() || !options.recordAudio.empty() ||
         !options.faults.empty())) {
        std::fprintf(stderr, "kirake: --keys, --capture, --record-audio and --fault need --headless\n");
        return 2;
    }
    if (dataDir.empty()) {
        std::vector<std::string> looked;
        dataDir = DefaultDataDir(argv[0], &looked);
        if (dataDir.empty()) {
            std::string places, lines;
            for (const std::string& place : looked) {
                places += (places.empty() ? "" : ", ") + place;
                lines += "\n    " + place;
            }
            if (looked.empty()) {
                places = "nowhere (the program's own folder is not known)";
                lines = " " + places;
            }
            std::fprintf(stderr, "kirake: no game data found (looked in %s); name a folder with --data DIR\n",
                         places.c_str());
            ShowStartFailure(options, ("The game's data was not found. Looked in:" + lines +
                                       "\n\nInstall the game again, or start it with --data FOLDER.").c_str());
            return 1;
        }
    }
    if (!ChangeFolder(dataDir)) {
        std::fprintf(stderr, "kirake: cannot enter the data folder %s\n", dataDir.c_str());
        return 1;
    }
    std::string error;
    if (!CheckStartScene(&error)) {
        std::fprintf(stderr, "kirake: unknown scene \"%s\"\nkirake: %s\n%s", startScene.c_str(), error.c_str(), usage);
        return 2;
    }
    if (!PlatformStart(options, &error)) {
        std::fprintf(stderr, "kirake: %s\n", error.c_str());
        return 1;
    }
    if (!traceFile.empty() && !OpenTrace(traceFile.c_str())) {
        std::fprintf(stderr, "kirake: cannot write %s\n", traceFile.c_str());
        PlatformStop();
        return 1;
    }
    if (options.watch) StartRebuilds(options.headless);
    SetSessionRun(options.headless, !options.keysFile.empty(), !startScene.empty(), options.watch,
                  options.frames);
    int exitCode = WinMain();
    KeepSession();
    StopRebuilds();
    if (!CloseTrace()) exitCode = exitCode ? exitCode : 1;  // each failed write was said once
    if (!PlatformStop()) exitCode = exitCode ? exitCode : 1;
    return exitCode;
}
