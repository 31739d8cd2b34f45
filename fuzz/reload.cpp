// The live reload: a story project watched as --watch watches it, a fuzzed key script saving files into
// it, and for 32 frames what the game does at each frame boundary (the saved files taken, the saved
// sources built into pictures and songs at once, as the headless game builds them, and what was built
// taken in turn). The project, in the harness's own folder, holds a picture with an include and a
// palette, a FIFO and a link to /dev/zero among the includes, a song, the story's text and the pictures
// the sheets show; it is put back as it was made after every run.
//
// The input: the key script up to the first line "--- NAME", then each "--- NAME" line starts the file
// NAME beside the script (at most 8; a name of letters, digits, '.', '-' and '_'), which a line
// "FRAME save PATH NAME" saves into the project. A script that names a file outside the harness's
// folders (an absolute path, "..") is not run.
#include <sys/stat.h>
#include <unistd.h>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include "app/app.h"
#include "gfx/gfx.h"
#include "platform/backend.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/overlay.h"
#include "platform/platform.h"
#include "platform/watch.h"
#include "platform/window.h"
#include "support.h"
#include "text/text.h"

namespace fs = std::filesystem;

namespace {
constexpr int FRAMES = 32;
char home[4096];
std::string project, beside;

struct ProjectFile {
    const char* name;
    std::string bytes;
};
std::vector<ProjectFile> pristine;

bool PlainName(const std::string& name) { return PlainFuzzName(name) && name != "keys.txt"; }

// Only files of the harness's folders: no word that starts at the root, no "..".
bool StaysInside(const std::string& keys) {
    if (keys.find("..") != std::string::npos || keys.find('\\') != std::string::npos) return false;
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i] == '/' && (i == 0 || std::isspace(static_cast<unsigned char>(keys[i - 1])))) return false;
    return true;
}

bool IsPristine(const std::string& name) {
    for (const ProjectFile& file : pristine)
        if (name == file.name) return true;
    return name == "pictures/pipe.inc" || name == "pictures/zero.inc";
}

// The project as made, put back in place (its folders stay, and so does the watch on them): what a run
// saved beside its files is removed, a file that reads differently is written again, and the FIFO and the
// link are made again where a save replaced them.
bool RestoreProject() {
    std::error_code error;
    std::vector<fs::path> extra;
    for (auto it = fs::recursive_directory_iterator(project, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        std::string name = it->path().lexically_relative(project).generic_string();
        bool folder = name == "bmp" || name == "pictures" || name == "songs";
        if (!folder) {
            if (!IsPristine(name)) extra.push_back(it->path());
            it.disable_recursion_pending();
        }
    }
    if (error) return false;
    for (const fs::path& path : extra) fs::remove_all(path, error);
    for (const ProjectFile& file : pristine) {
        std::string path = project + "/" + file.name, now;
        if (fs::is_regular_file(fs::symlink_status(path, error)) && fs::file_size(path, error) == file.bytes.size()) {
            if (FILE* in = std::fopen(path.c_str(), "rb")) {
                now.resize(file.bytes.size());
                if (std::fread(now.data(), 1, now.size(), in) != now.size()) now.clear();
                std::fclose(in);
            }
        }
        if (now == file.bytes && !error) continue;
        fs::remove_all(path, error);
        if (!WriteBytes(path, reinterpret_cast<const uint8_t*>(file.bytes.data()), file.bytes.size())) return false;
    }
    std::string pipe = project + "/pictures/pipe.inc", zero = project + "/pictures/zero.inc";
    if (!fs::is_fifo(fs::symlink_status(pipe, error))) {
        fs::remove_all(pipe, error);
        if (mkfifo(pipe.c_str(), 0600) != 0) return false;
    }
    if (!fs::is_symlink(fs::symlink_status(zero, error))) {
        fs::remove_all(zero, error);
        if (symlink("/dev/zero", zero.c_str()) != 0) return false;
    }
    return true;
}

std::string SmallBmp(int width, int height) {
    std::vector<uint8_t> bytes = FuzzBmp(width, height);
    return std::string(bytes.begin(), bytes.end());
}

// The sheets as loaded from the project as made, and what they held then. A run that took a picture into
// one has the display made afresh (the game never frees a sheet it replaced) and the sheets loaded again.
Surface** const sheets[] = {&display.windowSheet, &display.charSheet, &display.systemSheet, &display.bgSheet};
struct SheetAsMade {
    Surface* surface;
    std::vector<uint8_t> pixels;
    PaletteEntry colours[256];
};
SheetAsMade made[4];

bool ReadSheet(int i, SheetAsMade* into) {
    into->surface = *sheets[i];
    into->pixels = sheetSources.loaded[i];
    Palette* own = into->surface ? SurfacePalette(into->surface) : nullptr;
    return own && ReadPaletteEntries(own, into->colours);
}

bool SheetsAsMade() {
    for (int i = 0; i < 4; ++i) {
        SheetAsMade now;
        if (!ReadSheet(i, &now) || now.surface != made[i].surface || now.pixels != made[i].pixels ||
            std::memcmp(now.colours, made[i].colours, sizeof now.colours) != 0)
            return false;
    }
    return true;
}

void LoadSheets() {
    RenewFuzzDisplay();
    sheetSources.keepPictures = 1;
    const char* files[] = {"game_w.BMP", "bmp/sensei.BMP", "System.BMP", "bmp/stage1.BMP"};
    for (int i = 0; i < 4; ++i)
        if (!LoadSheet(sheets[i], files[i]) || !ReadSheet(i, &made[i])) std::abort();
    SetSheetColorKeys(app.mainWindow);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!getcwd(home, sizeof home)) std::abort();
    project = FuzzFolder() + "/project";
    beside = FuzzFolder() + "/beside";
    std::string picture = SmallBmp(48, 40);
    pristine = {
        {"data.txt", "tx0Spring.<*A second page,</and a second line.<!\ntx1<wv6Thump.<+<+then<!\n"},
        {"game_w.BMP", SmallBmp(64, 48)},
        {"System.BMP", SmallBmp(64, 32)},
        {"bmp/stage1.BMP", picture},
        {"bmp/sensei.BMP", picture},
        {"pictures/stage1.pic", "size 48 40\npalette p\ninclude sky.inc\nrect red 4 4 20 20\n"},
        {"pictures/sensei.pic", "size 48 40\npalette p\ninclude sky.inc\ncircle red 24 20 12\n"},
        {"pictures/sky.inc", "rect blue 0 0 48 10\n"},
        {"pictures/p.pal", "0 black #000000\n1 red #ff0000\n2 blue #0000ff\n3 green #00ff00\n"},
        {"songs/koi.song", "tempo 120\n"},
    };
    std::error_code error;
    for (const char* folder : {"/bmp", "/pictures", "/songs"}) fs::create_directories(project + folder, error);
    if (error || !RestoreProject() || chdir(project.c_str()) != 0) std::abort();
    // The headless platform watches the project for the whole campaign (ending a watch costs the kernel
    // milliseconds); each run starts the backend again with its key script, from frame 0.
    PlatformOptions options;
    options.headless = true;
    options.watch = true;
    std::string why;
    if (!OpenFuzzDisplay() || !PlatformStart(options, &why)) std::abort();
    LoadSheets();
    if (chdir(home) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzScriptInput in = SplitFuzzScript(data, size);
    const std::string& keys = in.files[0].second;
    if (!StaysInside(keys)) return 0;
    std::error_code error;
    fs::remove_all(beside, error);
    fs::create_directories(beside, error);
    if (!WriteBytes(beside + "/keys.txt", reinterpret_cast<const uint8_t*>(keys.data()), keys.size())) return 0;
    for (size_t i = 1; i < in.files.size(); ++i)
        if (PlainName(in.files[i].first) &&
            !WriteBytes(beside + "/" + in.files[i].first, reinterpret_cast<const uint8_t*>(in.files[i].second.data()),
                        in.files[i].second.size()))
            return 0;
    if (chdir(project.c_str()) != 0) std::abort();
    PlatformOptions options;
    options.headless = true;
    options.watch = true;
    options.keysFile = beside + "/keys.txt";
    std::string why;
    if (CurrentBackend()->start(options, &why)) {
        Window window = app.mainWindow;
        app.liveReload = 1;
        ContinueFrameNumbers(0);
        if (!SheetsAsMade()) LoadSheets();
        LoadScriptText(window);
        StartRebuilds(1);
        for (int frame = 0; frame < FRAMES; ++frame) {
            CurrentBackend()->pumpEvents();
            TakeSavedDataFiles(window);
            FrameShown();
        }
        StopRebuilds();
        AbandonMessage(window);
        ForgetLiveReloadNotes();
        Message posted;
        while (PeekWindowMessage(&posted)) GetWindowMessage(&posted);
        CurrentBackend()->stop();
    }
    // The project as made for the next run; the watch tells of that now, not in the next run.
    if (!RestoreProject()) std::abort();
    std::vector<std::string> told;
    TakeSavedFiles(&told);
    if (chdir(home) != 0) std::abort();
    return 0;
}
